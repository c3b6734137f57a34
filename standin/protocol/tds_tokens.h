// Writers for the TDS tokens that are not part of a result set's rows:
// messages, DONE variants, environment changes, login acknowledgement, return values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/tds_io.h"

namespace standin {

constexpr char kServerName[] = "SQLSTANDIN";
// SQL_Latin1_General_CP1_CI_AS: LCID 0x409, case-insensitive, sort id 52.
inline const std::vector<uint8_t> kCollation = {0x09, 0x04, 0xD0, 0x00, 0x34};

enum Token : uint8_t {
  kTokColMetadata = 0x81,
  kTokRow = 0xD1,
  kTokNbcRow = 0xD2,
  kTokReturnStatus = 0x79,
  kTokReturnValue = 0xAC,
  kTokError = 0xAA,
  kTokInfo = 0xAB,
  kTokLoginAck = 0xAD,
  kTokEnvChange = 0xE3,
  kTokSspi = 0xED,
  kTokDone = 0xFD,
  kTokDoneProc = 0xFE,
  kTokDoneInProc = 0xFF,
};

enum DoneStatus : uint16_t {
  kDoneFinal = 0x0000,
  kDoneMore = 0x0001,
  kDoneError = 0x0002,
  kDoneInTransaction = 0x0004,
  kDoneCount = 0x0010,
  kDoneAttention = 0x0020,
};

// Current-command codes carried by DONE.
enum CurCmd : uint16_t {
  kCmdNone = 0x00,
  kCmdSelect = 0xC1,
  kCmdInsert = 0xC3,
  kCmdDelete = 0xC4,
  kCmdUpdate = 0xC5,
  kCmdCreateTable = 0xC6,
  kCmdDrop = 0xC8,
};

// A SQL Server message (ERROR for class > 10, INFO otherwise).
struct ServerMessage {
  int32_t number = 0;
  uint8_t state = 1;
  uint8_t severity = 16;
  std::string text;
  std::string procedure;
  int32_t line = 1;
};

void WriteMessage(ReplyWriter& w, const ServerMessage& m);
void WriteDone(ReplyWriter& w, uint8_t token, uint16_t status, uint16_t curcmd, uint64_t rows);
void WriteEnvChange(ReplyWriter& w, uint8_t type, std::string_view newValue, std::string_view oldValue);
void WriteEnvChangeBytes(ReplyWriter& w, uint8_t type, const std::vector<uint8_t>& newValue,
                         const std::vector<uint8_t>& oldValue);
void WriteLoginAck(ReplyWriter& w, uint32_t tdsVersion);
void WriteReturnStatus(ReplyWriter& w, int32_t status);
void WriteReturnValueInt(ReplyWriter& w, uint16_t ordinal, std::string_view name, int32_t value);
void WriteSspi(ReplyWriter& w, const std::vector<uint8_t>& token);

}  // namespace standin
