// Parses the input as one statement of the Access driver's SQL dialect, both
// ways the driver does (the plain INSERT fast path and the general parser), and
// turns every literal of an INSERT into a value of each column type. Nothing is
// executed. Refusals come as SqlError; anything else is a fault.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "jet/jet.h"
#include "literal_values.h"
#include "plain_insert.h"
#include "sql_error.h"
#include "sql_parser.h"
#include "sql_tokenizer.h"

namespace {

std::vector<jet::ColumnDef> EveryColumnType() {
  using T = jet::ColumnType;
  std::vector<jet::ColumnDef> columns = {
      {"b", T::Boolean},  {"y", T::Byte},     {"i", T::Integer},    {"l", T::Long},
      {"c", T::Currency}, {"s", T::Single},   {"d", T::Double},     {"t", T::DateTime},
      {"x", T::Binary, 10}, {"v", T::Text, 20}, {"o", T::Ole},      {"m", T::Memo},
      {"g", T::Guid},     {"n", T::Decimal, 0, 28, 6}, {"r", T::Long, 0, 18, 0, true},
  };
  return columns;
}

void ConvertLiterals(const mdb::InsertStatement& insert) {
  static const std::vector<jet::ColumnDef> columns = EveryColumnType();
  jet::Value value;
  for (const mdb::Literal& literal : insert.values) {
    for (const jet::ColumnDef& column : columns) {
      try {
        mdb::StoreColumnValue(literal, column, value);
      } catch (const mdb::SqlError&) {
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view sql(reinterpret_cast<const char*>(data), size);
  try {
    mdb::TokenList tokens;
    mdb::Tokenize(sql, tokens);
  } catch (const mdb::SqlError&) {
  }
  (void)mdb::CharacterPosition(sql, size / 2);

  mdb::InsertStatement plain;
  if (mdb::ParsePlainInsert(sql, plain)) ConvertLiterals(plain);

  try {
    mdb::Statement in_place;
    mdb::ParseStatementInPlace(sql, in_place);
    mdb::Statement copy = mdb::ParseStatement(sql);
    if (auto* insert = std::get_if<mdb::InsertStatement>(&copy)) ConvertLiterals(*insert);
  } catch (const mdb::SqlError&) {
  }
  return 0;
}
