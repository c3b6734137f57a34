#include "plain_insert.h"

#include "sql_characters.h"

namespace mdb {
namespace {

// Reads the statement from the front; every step returns false where the text
// leaves the plain form.
class PlainReader {
 public:
  explicit PlainReader(std::string_view sql) : sql_(sql) {}

  bool AtEnd() {
    SkipBlanks();
    return i_ == sql_.size();
  }

  void SkipBlanks() {
    while (i_ < sql_.size() && IsBlank(static_cast<unsigned char>(sql_[i_]))) ++i_;
  }

  // A keyword (upper-case letters) in any letter case, not followed by a word
  // character. Clearing bit 0x20 turns only the two cases of a letter into it.
  bool Keyword(std::string_view word) {
    SkipBlanks();
    if (sql_.size() - i_ < word.size()) return false;
    for (std::size_t k = 0; k < word.size(); ++k) {
      if ((sql_[i_ + k] & ~0x20) != word[k]) return false;
    }
    const std::size_t end = i_ + word.size();
    if (end < sql_.size() && IsWordPart(static_cast<unsigned char>(sql_[end]))) return false;
    i_ = end;
    return true;
  }

  bool Symbol(char c) {
    SkipBlanks();
    if (i_ == sql_.size() || sql_[i_] != c) return false;
    ++i_;
    return true;
  }

  // A table name without an owner prefix.
  bool Name(std::string& name) {
    SkipBlanks();
    if (i_ == sql_.size()) return false;
    const char c = sql_[i_];
    std::string_view text;
    if (c == '[' || c == '"') {
      if (!Delimited(c == '[' ? ']' : '"', text)) return false;
    } else if (IsWordStart(static_cast<unsigned char>(c))) {
      const std::size_t start = i_;
      while (i_ < sql_.size() && IsWordPart(static_cast<unsigned char>(sql_[i_]))) ++i_;
      text = sql_.substr(start, i_ - start);
    } else {
      return false;
    }
    if (text.empty()) return false;
    SkipBlanks();
    if (i_ < sql_.size() && sql_[i_] == '.') return false;
    name.assign(text);
    return true;
  }

  bool Value(Literal& literal) {
    SkipBlanks();
    if (i_ == sql_.size()) return false;
    literal.offset = i_;
    char c = sql_[i_];
    if (c == '\'') {
      literal.kind = Literal::Kind::String;
      return Delimited('\'', literal.text);
    }
    if (c == '-') {
      literal.negative = true;
      if (++i_ == sql_.size()) return false;
      c = sql_[i_];
    }
    if (IsDigit(c) || (c == '.' && i_ + 1 < sql_.size() && IsDigit(sql_[i_ + 1]))) {
      if (c == '0' && i_ + 1 < sql_.size() && (sql_[i_ + 1] == 'x' || sql_[i_ + 1] == 'X')) return false;
      const std::size_t end = NumberEnd(sql_, i_);
      if (end < sql_.size() && IsWordPart(static_cast<unsigned char>(sql_[end]))) return false;
      literal.kind = Literal::Kind::Number;
      literal.text = sql_.substr(i_, end - i_);
      i_ = end;
      return true;
    }
    if (!literal.negative && Keyword("NULL")) {
      literal.kind = Literal::Kind::Null;
      return true;
    }
    return false;
  }

 private:
  // Text up to `close`; false for a doubled `close` (left to the general parser) or none.
  bool Delimited(char close, std::string_view& text) {
    const std::size_t first = i_ + 1;
    const std::size_t end = sql_.find(close, first);
    if (end == std::string_view::npos) return false;
    if (end + 1 < sql_.size() && sql_[end + 1] == close) return false;
    text = sql_.substr(first, end - first);
    i_ = end + 1;
    return true;
  }

  std::string_view sql_;
  std::size_t i_ = 0;
};

}  // namespace

bool ParsePlainInsert(std::string_view sql, InsertStatement& insert) {
  PlainReader reader(sql);
  insert.columns.clear();
  insert.values.clear();
  insert.parameterCount = 0;
  insert.texts.reset();
  if (!reader.Keyword("INSERT") || !reader.Keyword("INTO") || !reader.Name(insert.table) ||
      !reader.Keyword("VALUES") || !reader.Symbol('(')) {
    return false;
  }
  do {
    if (!reader.Value(insert.values.emplace_back())) return false;
  } while (reader.Symbol(','));
  if (!reader.Symbol(')')) return false;
  reader.Symbol(';');
  return reader.AtEnd();
}

}  // namespace mdb
