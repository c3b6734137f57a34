// The character data file of a BULK INSERT, read as SQL Server's bulk load
// reads one: each field up to the first instance of the field terminator, the
// last field of a row up to the row terminator (so fields may hold line
// breaks when the terminators are longer), text decoded from its code page
// (DATAFILETYPE 'char' with CODEPAGE) or from UTF-16 ('widechar') to UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// A terminator as BULK INSERT takes it: \t \n \r \0 \\ escapes or hex ('0x0a').
// A row terminator of "\n" means a carriage return and a line feed, as on
// SQL Server; '0x0a' is a line feed alone. nullopt: not a terminator.
std::optional<std::string> DecodeTerminator(std::string_view written, bool rowTerminator);

// The file's text as UTF-8. `codePage`: "65001", "ACP", "OEM", "RAW" or a
// number; `wide`: UTF-16LE ('widechar'). A view of `bytes` when they need no
// decoding (UTF-8, or ASCII in any code page), else of `decoded`, which then
// holds the text. nullopt for a code page it cannot read.
std::optional<std::string_view> DecodeDataFile(std::string_view bytes, bool wide, const std::string& codePage,
                                               std::string& decoded);

class BulkDataReader {
 public:
  BulkDataReader(std::string_view text, std::string fieldTerminator, std::string rowTerminator)
      : text_(text), field_(std::move(fieldTerminator)), row_(std::move(rowTerminator)) {}

  enum class Result { Row, End, Truncated };
  // Reads the next row of `count` fields into `fields` (views into the text).
  // End: no data left. Truncated: the file ends inside the row.
  Result Next(size_t count, std::vector<std::string_view>& fields);

 private:
  std::string_view text_;
  std::string field_, row_;
  size_t pos_ = 0;
};

}  // namespace standin
