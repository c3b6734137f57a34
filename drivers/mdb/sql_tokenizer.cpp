#include "sql_tokenizer.h"

#include "sql_characters.h"
#include "sql_error.h"

namespace mdb {
namespace {

[[noreturn]] void Fail(std::string_view sql, std::size_t offset, const std::string& what) {
  throw SqlError("42000", "Syntax error at position " +
                              std::to_string(CharacterPosition(sql, offset)) + ": " + what);
}

// Reads a delimited run ending at `close`, where a doubled `close` stands for itself.
// The text is a view of `sql` unless a doubled delimiter had to be undone.
std::size_t ReadDelimited(std::string_view sql, std::size_t start, char close,
                          std::string_view& token, TokenList& list, const char* what) {
  const std::size_t first = start + 1;
  std::size_t end = sql.find(close, first);
  if (end == std::string_view::npos) Fail(sql, start, std::string("unterminated ") + what);
  if (end + 1 >= sql.size() || sql[end + 1] != close) {
    token = sql.substr(first, end - first);
    return end + 1;
  }
  std::string& text = list.unescaped.emplace_back(sql.substr(first, end + 1 - first));
  std::size_t i = end + 2;
  while (true) {
    end = sql.find(close, i);
    if (end == std::string_view::npos) Fail(sql, start, std::string("unterminated ") + what);
    text.append(sql.substr(i, end - i));
    if (end + 1 < sql.size() && sql[end + 1] == close) {
      text += close;
      i = end + 2;
      continue;
    }
    token = text;
    return end + 1;
  }
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

void Tokenize(std::string_view sql, TokenList& list) {
  std::vector<Token>& tokens = list.tokens;
  tokens.clear();
  list.unescaped.clear();
  std::size_t i = 0;
  while (true) {
    while (i < sql.size() && IsBlank(static_cast<unsigned char>(sql[i]))) ++i;
    // "-- comment" to the end of the line.
    if (i + 1 < sql.size() && sql[i] == '-' && sql[i + 1] == '-') {
      while (i < sql.size() && sql[i] != '\n') ++i;
      continue;
    }
    // The token is built in locals and stored once: building it in memory and
    // copying it made the store wait on its own parts, for every token.
    const std::size_t start = i;
    TokenKind kind;
    std::string_view text;
    if (i >= sql.size()) {
      tokens.push_back(Token{TokenKind::End, {}, start});
      return;
    }
    char c = sql[i];
    if (IsWordStart(static_cast<unsigned char>(c))) {
      std::size_t j = i;
      while (j < sql.size() && IsWordPart(static_cast<unsigned char>(sql[j]))) ++j;
      kind = TokenKind::Word;
      text = sql.substr(i, j - i);
      i = j;
    } else if (IsDigit(c) || (c == '.' && i + 1 < sql.size() && IsDigit(sql[i + 1]))) {
      std::size_t j = NumberEnd(sql, i);
      if (j < sql.size() && IsWordPart(static_cast<unsigned char>(sql[j])))
        Fail(sql, i, "malformed number '" + std::string(sql.substr(i, j + 1 - i)) + "'");
      kind = TokenKind::Number;
      text = sql.substr(i, j - i);
      i = j;
    } else if (c == '\'') {
      kind = TokenKind::String;
      i = ReadDelimited(sql, i, '\'', text, list, "string literal");
    } else if (c == '"') {
      kind = TokenKind::QuotedName;
      i = ReadDelimited(sql, i, '"', text, list, "quoted name");
    } else if (c == '[') {
      kind = TokenKind::QuotedName;
      i = ReadDelimited(sql, i, ']', text, list, "bracketed name");
    } else if (c == '`') {
      kind = TokenKind::QuotedName;
      i = ReadDelimited(sql, i, '`', text, list, "quoted name");
    } else if (c == '(' || c == ')' || c == ',' || c == ';' || c == '*' || c == '+' ||
               c == '-' || c == '.' || c == '=' || c == '<' || c == '>' || c == '&' || c == '/' ||
               c == '?') {
      kind = TokenKind::Symbol;
      text = sql.substr(i, 1);
      ++i;
    } else {
      Fail(sql, i, "unexpected character '" + std::string(1, c) + "'");
    }
    tokens.push_back(Token{kind, text, start});
  }
}

}  // namespace mdb
