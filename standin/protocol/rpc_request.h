// Decoding of RPC requests: procedure name or id and typed parameters.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "types/value_conversion.h"

namespace standin {

enum RpcProcId : uint16_t {
  kSpExecuteSql = 10,
  kSpPrepare = 11,
  kSpExecute = 12,
  kSpPrepExec = 13,
  kSpUnprepare = 15,
};

struct RpcParameter {
  std::string name;  // "@name" or empty
  bool output = false;
  bool byDefault = false;  // fDefaultValue: the procedure's default applies
  Value value;
};

struct RpcCall {
  std::string procedure;  // empty when called by id
  uint16_t procId = 0;
  std::vector<RpcParameter> params;
};

// Decodes every call of an RPC message (after ALL_HEADERS). Throws ProtocolError.
std::vector<RpcCall> ParseRpcCalls(const std::vector<uint8_t>& payload, size_t offset);

// Length of ALL_HEADERS at the start of a request payload; 0 for clients before
// TDS 7.2, which send none.
size_t AllHeadersLength(const std::vector<uint8_t>& payload, uint32_t tdsVersion);

}  // namespace standin
