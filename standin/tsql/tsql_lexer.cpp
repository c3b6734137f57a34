#include "tsql/tsql_lexer.h"

#include <cctype>
#include <strings.h>

namespace standin {
namespace {

bool IsNameStart(unsigned char c) { return std::isalpha(c) || c == '_' || c == '#' || c >= 0x80; }
bool IsNamePart(unsigned char c) { return std::isalnum(c) || c == '_' || c == '#' || c == '@' || c == '$' || c >= 0x80; }

// Reads quoted text from just after the opening quote up to `close`, where a doubled
// `close` stands for one; false when the input ends first. `i` ends after the quote.
bool ReadQuoted(const std::string& s, size_t& i, char close, std::string& text) {
  const size_t n = s.size();
  while (i < n) {
    if (s[i] == close) {
      if (i + 1 < n && s[i + 1] == close) { text += close; i += 2; continue; }
      ++i;
      return true;
    }
    text += s[i++];
  }
  return false;
}

}  // namespace

bool SqlToken::IsWord(const char* upperWord) const {
  return kind == Kind::Word && strcasecmp(text.c_str(), upperWord) == 0;
}

std::string TokenDisplay(const SqlToken& t) {
  switch (t.kind) {
    case SqlToken::Kind::String: return t.text;
    case SqlToken::Kind::QuotedName: return t.text;
    case SqlToken::Kind::Binary: return "0x" + t.text;
    case SqlToken::Kind::End: return "";
    default: return t.text;
  }
}

LexResult Tokenize(const std::string& s) {
  LexResult r;
  size_t i = 0;
  const size_t n = s.size();
  auto push = [&](SqlToken::Kind kind, std::string text, size_t start, bool national = false) {
    SqlToken t;
    t.kind = kind;
    t.text = std::move(text);
    t.national = national;
    t.offset = start;
    t.endOffset = i;
    r.tokens.push_back(std::move(t));
  };
  while (i < n) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (std::isspace(c)) { ++i; continue; }
    if (c == '-' && i + 1 < n && s[i + 1] == '-') {
      while (i < n && s[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < n && s[i + 1] == '*') {
      int depth = 1;  // T-SQL block comments nest
      i += 2;
      while (i < n && depth > 0) {
        if (s[i] == '/' && i + 1 < n && s[i + 1] == '*') { ++depth; i += 2; }
        else if (s[i] == '*' && i + 1 < n && s[i + 1] == '/') { --depth; i += 2; }
        else ++i;
      }
      if (depth > 0) { r.ok = false; r.error = "Missing end comment mark '*/'."; break; }
      continue;
    }
    const size_t start = i;
    const bool national = (c == 'N' || c == 'n') && i + 1 < n && s[i + 1] == '\'';
    if (c == '\'' || national) {
      if (national) ++i;
      ++i;
      std::string text;
      const bool closed = ReadQuoted(s, i, '\'', text);
      if (!closed) {
        r.ok = false;
        r.error = "Unclosed quotation mark after the character string '" + text + "'.";
        break;
      }
      push(SqlToken::Kind::String, std::move(text), start, national);
      continue;
    }
    if (c == '[' || c == '"') {
      const char close = c == '[' ? ']' : '"';
      ++i;
      std::string text;
      const bool closed = ReadQuoted(s, i, close, text);
      if (!closed) {
        r.ok = false;
        r.error = c == '[' ? "Unclosed quotation mark after the character string '" + text + "'."
                           : "Unclosed quotation mark after the character string '" + text + "'.";
        break;
      }
      push(SqlToken::Kind::QuotedName, std::move(text), start);
      continue;
    }
    if (c == '0' && i + 1 < n && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
      i += 2;
      std::string hex;
      while (i < n && std::isxdigit(static_cast<unsigned char>(s[i]))) hex += s[i++];
      push(SqlToken::Kind::Binary, std::move(hex), start);
      continue;
    }
    if (std::isdigit(c) || (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
      if (i < n && s[i] == '.') {
        ++i;
        while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
      }
      if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < n && (s[j] == '+' || s[j] == '-')) ++j;
        if (j < n && std::isdigit(static_cast<unsigned char>(s[j]))) {
          i = j;
          while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
        }
      }
      push(SqlToken::Kind::Number, s.substr(start, i - start), start);
      continue;
    }
    // Money literals: $20.00 is the number 20.00.
    if (c == '$' && i + 1 < n && (std::isdigit(static_cast<unsigned char>(s[i + 1])) || s[i + 1] == '.')) {
      const size_t digits = ++i;
      while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
      if (i < n && s[i] == '.') {
        ++i;
        while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
      }
      push(SqlToken::Kind::Number, s.substr(digits, i - digits), start);
      continue;
    }
    if (c == '@') {
      ++i;
      while (i < n && IsNamePart(static_cast<unsigned char>(s[i]))) ++i;
      push(SqlToken::Kind::Variable, s.substr(start, i - start), start);
      continue;
    }
    if (IsNameStart(c)) {
      while (i < n && IsNamePart(static_cast<unsigned char>(s[i]))) ++i;
      push(SqlToken::Kind::Word, s.substr(start, i - start), start);
      continue;
    }
    static const char* const kTwoChar[] = {"<>", "!=", "<=", ">=", "!<", "!>", "||"};
    bool matched = false;
    for (const char* op : kTwoChar) {
      if (i + 1 < n && s[i] == op[0] && s[i + 1] == op[1]) {
        i += 2;
        push(SqlToken::Kind::Symbol, op, start);
        matched = true;
        break;
      }
    }
    if (matched) continue;
    ++i;
    push(SqlToken::Kind::Symbol, std::string(1, static_cast<char>(c)), start);
  }
  SqlToken end;
  end.kind = SqlToken::Kind::End;
  end.offset = end.endOffset = n;
  r.tokens.push_back(end);
  return r;
}

}  // namespace standin
