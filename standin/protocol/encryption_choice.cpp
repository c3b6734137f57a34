#include "protocol/encryption_choice.h"

#include <cstddef>

namespace standin {

uint8_t ClientEncryption(const std::vector<uint8_t>& prelogin) {
  // Option table: token, offset (2 bytes, big-endian), length (2 bytes), ended by 0xFF.
  for (std::size_t at = 0; at + 5 <= prelogin.size() && prelogin[at] != 0xFF; at += 5) {
    if (prelogin[at] != 0x01) continue;
    const std::size_t offset = (prelogin[at + 1] << 8) | prelogin[at + 2];
    const std::size_t length = (prelogin[at + 3] << 8) | prelogin[at + 4];
    if (length >= 1 && offset < prelogin.size()) return prelogin[offset];
    break;
  }
  return kEncryptNotSup;
}

EncryptionChoice ChooseEncryption(uint8_t client, bool canEncrypt, bool forced) {
  EncryptionChoice choice;
  if (!canEncrypt) return choice;  // NOT_SUP, nothing encrypted
  switch (client) {
    case kEncryptOff:
      choice.answer = forced ? kEncryptReq : kEncryptOff;
      choice.mode = forced ? EncryptionMode::Full : EncryptionMode::LoginOnly;
      break;
    case kEncryptOn:
    case kEncryptReq:
      choice.answer = kEncryptOn;
      choice.mode = EncryptionMode::Full;
      break;
    default:  // the client cannot encrypt
      choice.answer = kEncryptNotSup;
      choice.refuse = forced;
      break;
  }
  return choice;
}

}  // namespace standin
