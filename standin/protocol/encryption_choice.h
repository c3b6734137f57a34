// What PRELOGIN's ENCRYPTION option asks for, and what the server answers, as
// SQL Server decides it.
#pragma once

#include <cstdint>
#include <vector>

namespace standin {

// PRELOGIN ENCRYPTION values.
enum EncryptOption : uint8_t {
  kEncryptOff = 0x00,     // client: encrypt the login only; server: likewise
  kEncryptOn = 0x01,      // encrypt everything
  kEncryptNotSup = 0x02,  // cannot encrypt
  kEncryptReq = 0x03,     // must encrypt everything
};

enum class EncryptionMode { None, LoginOnly, Full };

struct EncryptionChoice {
  uint8_t answer = kEncryptNotSup;  // the server's ENCRYPTION option
  EncryptionMode mode = EncryptionMode::None;
  // The server forces encryption and the client cannot: the connection ends.
  bool refuse = false;
};

// The client's ENCRYPTION option in a PRELOGIN payload; kEncryptNotSup when it
// sent none (a client that predates the option).
uint8_t ClientEncryption(const std::vector<uint8_t>& prelogin);

// `canEncrypt`: the server has a certificate; `forced`: it forces encryption.
// A client that asks for encryption from a server that cannot gets NOT_SUP and
// ends the connection itself.
EncryptionChoice ChooseEncryption(uint8_t client, bool canEncrypt, bool forced);

}  // namespace standin
