// Splits T-SQL text into tokens: names (plain, [bracketed], "quoted"), strings
// ('..', N'..'), numbers, 0x binary literals, @variables and punctuation.
#pragma once

#include <string>
#include <vector>

namespace standin {

struct SqlToken {
  enum class Kind { Word, QuotedName, String, Number, Binary, Variable, Symbol, End };
  Kind kind = Kind::End;
  std::string text;      // name without brackets, string without quotes, symbol text
  bool national = false; // N'...'
  size_t offset = 0;     // start in the source text
  size_t endOffset = 0;

  bool IsWord(const char* upperWord) const;  // case-insensitive keyword test (Word only)
  bool IsSymbol(const char* s) const { return kind == Kind::Symbol && text == s; }
  bool IsName() const { return kind == Kind::Word || kind == Kind::QuotedName; }
};

struct LexResult {
  std::vector<SqlToken> tokens;  // always ends with an End token
  bool ok = true;
  std::string error;             // e.g. unclosed quotation mark
};

LexResult Tokenize(const std::string& sql);

// How SQL Server quotes a token in "Incorrect syntax near '...'".
std::string TokenDisplay(const SqlToken& t);

}  // namespace standin
