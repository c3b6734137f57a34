#include "sql_tokenizer.h"

#include "sql_error.h"

namespace mdb {
namespace {

bool IsWordStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
}

bool IsWordPart(unsigned char c) {
  return IsWordStart(c) || (c >= '0' && c <= '9') || c == '$' || c == '#' || c == '@';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsHexDigit(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

[[noreturn]] void Fail(std::string_view sql, std::size_t offset, const std::string& what) {
  throw SqlError("42000", "Syntax error at position " +
                              std::to_string(CharacterPosition(sql, offset)) + ": " + what);
}

// Reads a delimited run ending at `close`, where a doubled `close` stands for itself.
std::size_t ReadDelimited(std::string_view sql, std::size_t start, char close, std::string& out,
                          const char* what) {
  std::size_t i = start + 1;
  while (true) {
    if (i >= sql.size()) Fail(sql, start, std::string("unterminated ") + what);
    if (sql[i] == close) {
      if (i + 1 < sql.size() && sql[i + 1] == close) {
        out += close;
        i += 2;
        continue;
      }
      return i + 1;
    }
    out += sql[i++];
  }
}

std::size_t ReadNumber(std::string_view sql, std::size_t i) {
  if (sql[i] == '0' && i + 1 < sql.size() &&
      (sql[i + 1] == 'x' || sql[i + 1] == 'X')) {
    std::size_t j = i + 2;
    while (j < sql.size() && IsHexDigit(sql[j])) ++j;
    return j;
  }
  while (i < sql.size() && IsDigit(sql[i])) ++i;
  if (i < sql.size() && sql[i] == '.') {
    ++i;
    while (i < sql.size() && IsDigit(sql[i])) ++i;
  }
  if (i < sql.size() && (sql[i] == 'e' || sql[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < sql.size() && (sql[j] == '+' || sql[j] == '-')) ++j;
    if (j < sql.size() && IsDigit(sql[j])) {
      while (j < sql.size() && IsDigit(sql[j])) ++j;
      i = j;
    }
  }
  return i;
}

}  // namespace

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::size_t CharacterPosition(std::string_view sql, std::size_t byteOffset) {
  std::size_t position = 1;
  for (std::size_t i = 0; i < byteOffset && i < sql.size(); ++i) {
    if ((static_cast<unsigned char>(sql[i]) & 0xC0) != 0x80) ++position;
  }
  return position;
}

std::vector<Token> Tokenize(std::string_view sql) {
  std::vector<Token> tokens;
  tokens.reserve(16);
  std::size_t i = 0;
  while (true) {
    while (i < sql.size() && (sql[i] == ' ' || sql[i] == '\t' || sql[i] == '\r' ||
                              sql[i] == '\n' || sql[i] == '\f' || sql[i] == '\v')) {
      ++i;
    }
    // "-- comment" to the end of the line.
    if (i + 1 < sql.size() && sql[i] == '-' && sql[i + 1] == '-') {
      while (i < sql.size() && sql[i] != '\n') ++i;
      continue;
    }
    Token token;
    token.offset = i;
    if (i >= sql.size()) {
      tokens.push_back(std::move(token));
      return tokens;
    }
    char c = sql[i];
    if (IsWordStart(static_cast<unsigned char>(c))) {
      std::size_t j = i;
      while (j < sql.size() && IsWordPart(static_cast<unsigned char>(sql[j]))) ++j;
      token.kind = TokenKind::Word;
      token.text.assign(sql.substr(i, j - i));
      i = j;
    } else if (IsDigit(c) || (c == '.' && i + 1 < sql.size() && IsDigit(sql[i + 1]))) {
      std::size_t j = ReadNumber(sql, i);
      if (j < sql.size() && IsWordPart(static_cast<unsigned char>(sql[j])))
        Fail(sql, i, "malformed number '" + std::string(sql.substr(i, j + 1 - i)) + "'");
      token.kind = TokenKind::Number;
      token.text.assign(sql.substr(i, j - i));
      i = j;
    } else if (c == '\'') {
      token.kind = TokenKind::String;
      i = ReadDelimited(sql, i, '\'', token.text, "string literal");
    } else if (c == '"') {
      token.kind = TokenKind::QuotedName;
      i = ReadDelimited(sql, i, '"', token.text, "quoted name");
    } else if (c == '[') {
      token.kind = TokenKind::QuotedName;
      i = ReadDelimited(sql, i, ']', token.text, "bracketed name");
    } else if (c == '`') {
      token.kind = TokenKind::QuotedName;
      i = ReadDelimited(sql, i, '`', token.text, "quoted name");
    } else if (c == '(' || c == ')' || c == ',' || c == ';' || c == '*' || c == '+' ||
               c == '-' || c == '.' || c == '=') {
      token.kind = TokenKind::Symbol;
      token.text.assign(1, c);
      ++i;
    } else {
      Fail(sql, i, "unexpected character '" + std::string(1, c) + "'");
    }
    tokens.push_back(std::move(token));
  }
}

}  // namespace mdb
