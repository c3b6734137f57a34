#include "check_translation.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace talvoro::engine {
namespace {

struct Untranslatable : std::runtime_error {
  using std::runtime_error::runtime_error;
};

enum class Kind { Word, Column, String, Number, Symbol, End };

struct Token {
  Kind kind = Kind::End;
  std::string text;
};

std::vector<Token> Tokenize(std::string_view s) {
  std::vector<Token> out;
  std::size_t i = 0;
  auto quoted = [&](char close) {
    std::string text;
    for (++i;; ++i) {
      if (i >= s.size()) throw Untranslatable("unterminated quote");
      if (s[i] == close) {
        if (i + 1 < s.size() && s[i + 1] == close) {
          text.push_back(close);
          ++i;
          continue;
        }
        ++i;
        return text;
      }
      text.push_back(s[i]);
    }
  };
  while (i < s.size()) {
    const char c = s[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (c == '[') {
      out.push_back({Kind::Column, quoted(']')});
    } else if (c == '"') {
      out.push_back({Kind::Column, quoted('"')});
    } else if (c == '\'' || ((c == 'N' || c == 'n') && i + 1 < s.size() && s[i + 1] == '\'')) {
      if (c != '\'') ++i;
      out.push_back({Kind::String, quoted('\'')});
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      std::size_t start = i;
      while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '.')) ++i;
      if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
      }
      out.push_back({Kind::Number, std::string(s.substr(start, i - start))});
    } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '@' || c == '#') {
      std::size_t start = i;
      while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '_' || s[i] == '@' ||
                              s[i] == '#' || s[i] == '$'))
        ++i;
      out.push_back({Kind::Word, std::string(s.substr(start, i - start))});
    } else {
      static const char* const kTwo[] = {"<=", ">=", "<>", "!=", "!<", "!>"};
      std::string text(1, c);
      for (const char* two : kTwo)
        if (s.substr(i, 2) == two) text = two;
      if (text.size() == 1 && std::string_view("=<>+-*/%(),").find(c) == std::string_view::npos)
        throw Untranslatable(std::string("the character '") + c + "'");
      i += text.size();
      out.push_back({Kind::Symbol, text});
    }
  }
  out.push_back({});
  return out;
}

// Binding strength, weakest first: a part is parenthesized inside a stronger one.
enum Level { kOr = 1, kAnd, kNot, kPredicate, kAdd, kMultiply, kUnary, kPrimary };

struct Part {
  std::string text;
  int level = kPrimary;
  bool named = false;      // names a column somewhere
  std::string column{};    // the column it is, when it is one and nothing more
  bool hasField = false;   // a condition on `column` alone with the column first:
  std::string field{};     // then this, the same without the column
};

std::string AccessString(const std::string& value) {
  std::string out = "\"";
  for (char c : value) {
    out.push_back(c);
    if (c == '"') out.push_back('"');
  }
  return out + "\"";
}

class Translator {
 public:
  Translator(std::string_view definition, const std::function<std::string(const std::string&)>& destName)
      : tokens_(Tokenize(definition)), destName_(destName) {}

  CheckTranslation Run() {
    CheckTranslation result;
    Part whole = Or();
    if (Peek().kind != Kind::End) throw Untranslatable("\"" + Peek().text + "\" where the expression should end");
    if (whole.level > kPredicate) throw Untranslatable("it is not a condition");
    result.translated = true;
    result.expression = std::move(whole.text);
    if (whole.hasField && columns_.size() == 1) result.fieldRule = std::move(whole.field);
    result.columns = std::move(columns_);
    return result;
  }

 private:
  const Token& Peek(std::size_t ahead = 0) const { return tokens_[std::min(pos_ + ahead, tokens_.size() - 1)]; }
  Token Next() { return tokens_[std::min(pos_++, tokens_.size() - 1)]; }
  bool IsWord(const char* w, std::size_t ahead = 0) const {
    return Peek(ahead).kind == Kind::Word && strcasecmp(Peek(ahead).text.c_str(), w) == 0;
  }
  bool IsSymbol(const char* s) const { return Peek().kind == Kind::Symbol && Peek().text == s; }
  void Expect(const char* s) {
    if (!IsSymbol(s)) throw Untranslatable(std::string("expected '") + s + "'");
    Next();
  }
  static std::string Wrap(const Part& p, int level) { return p.level < level ? "(" + p.text + ")" : p.text; }

  static std::string WrapField(const Part& p, int level) {
    return p.level < level ? "(" + p.field + ")" : p.field;
  }
  // Two conditions joined; a field rule when both are on the same one column.
  static Part Combine(const Part& left, const char* op, const Part& right, int level) {
    Part joined{Wrap(left, level) + op + Wrap(right, level), level, true};
    if (left.hasField && right.hasField && left.column == right.column) {
      joined.hasField = true;
      joined.column = left.column;
      joined.field = WrapField(left, level) + op + WrapField(right, level);
    }
    return joined;
  }
  // A condition whose left side is `left`; a field rule when that is a column and
  // `rest` names none.
  static Part Condition(const Part& left, const std::string& rest, bool restNamed) {
    Part p{Wrap(left, kAdd) + rest, kPredicate, true};
    if (!left.column.empty() && !restNamed) {
      p.hasField = true;
      p.column = left.column;
      p.field = rest.front() == ' ' ? rest.substr(1) : rest;
    }
    return p;
  }

  Part Or() {
    Part left = And();
    while (IsWord("OR")) {
      Next();
      Part right = And();
      left = Combine(left, " Or ", right, kOr);
    }
    return left;
  }
  Part And() {
    Part left = Not();
    while (IsWord("AND")) {
      Next();
      Part right = Not();
      left = Combine(left, " And ", right, kAnd);
    }
    return left;
  }
  Part Not() {
    if (IsWord("NOT")) {
      Next();
      Part inner = Not();
      return {"Not " + Wrap(inner, kNot), kNot, inner.named};
    }
    return Predicate();
  }
  Part Predicate() {
    Part left = Additive();
    static const std::pair<const char*, const char*> kCompare[] = {
        {"=", "="}, {"<>", "<>"}, {"!=", "<>"}, {"<", "<"}, {">", ">"}, {"<=", "<="}, {">=", ">="}, {"!<", ">="}, {"!>", "<="}};
    for (const auto& [tsql, access] : kCompare) {
      if (IsSymbol(tsql)) {
        Next();
        Part right = Additive();
        Part p = Condition(left, access + Wrap(right, kAdd), right.named);
        // A constant first and the column second: the field rule turns the comparison round.
        if (!left.named && !right.column.empty()) {
          static const std::pair<std::string_view, const char*> kTurned[] = {
              {"=", "="}, {"<>", "<>"}, {"<", ">"}, {">", "<"}, {"<=", ">="}, {">=", "<="}};
          for (const auto& [from, to] : kTurned)
            if (from == access) {
              p.hasField = true;
              p.column = right.column;
              p.field = to + Wrap(left, kAdd);
            }
        }
        p.named = left.named || right.named;
        return p;
      }
    }
    if (IsWord("IS")) {
      Next();
      bool negated = IsWord("NOT");
      if (negated) Next();
      if (!IsWord("NULL")) throw Untranslatable("IS without NULL");
      Next();
      return Condition(left, negated ? " Is Not Null" : " Is Null", false);
    }
    const bool negated = IsWord("NOT") && (IsWord("BETWEEN", 1) || IsWord("IN", 1) || IsWord("LIKE", 1));
    if (negated) Next();
    const std::string prefix = negated ? " Not " : " ";
    if (IsWord("BETWEEN")) {
      Next();
      Part low = Additive();
      if (!IsWord("AND")) throw Untranslatable("BETWEEN without AND");
      Next();
      Part high = Additive();
      return Condition(left, prefix + "Between " + Wrap(low, kAdd) + " And " + Wrap(high, kAdd), low.named || high.named);
    }
    if (IsWord("IN")) {
      Next();
      Expect("(");
      if (IsWord("SELECT")) throw Untranslatable("a subquery");
      bool named = false;
      std::string list;
      do {
        if (!list.empty()) Next();
        Part item = Additive();
        named = named || item.named;
        list += (list.empty() ? "" : ",") + Wrap(item, kAdd);
      } while (IsSymbol(","));
      Expect(")");
      return Condition(left, prefix + "In (" + list + ")", named);
    }
    if (IsWord("LIKE")) {
      Next();
      if (Peek().kind != Kind::String) throw Untranslatable("a LIKE pattern that is not a string");
      std::string problem;
      std::string pattern = TranslateLikePattern(Next().text, problem);
      if (!problem.empty()) throw Untranslatable(problem);
      if (IsWord("ESCAPE")) throw Untranslatable("LIKE with ESCAPE");
      return Condition(left, prefix + "Like " + AccessString(pattern), false);
    }
    return left;
  }
  Part Additive() {
    Part left = Multiplicative();
    while (IsSymbol("+") || IsSymbol("-")) {
      const std::string op = Next().text;
      Part right = Multiplicative();
      left = {Wrap(left, kAdd) + op + Wrap(right, kMultiply), kAdd, left.named || right.named};
    }
    return left;
  }
  Part Multiplicative() {
    Part left = Unary();
    while (IsSymbol("*") || IsSymbol("/") || IsSymbol("%")) {
      // T-SQL divides integers without a remainder, Access does not: no equivalent without the types.
      if (IsSymbol("/")) throw Untranslatable("a division");
      const std::string op = Next().text == "%" ? " Mod " : "*";
      Part right = Unary();
      left = {Wrap(left, kMultiply) + op + Wrap(right, kUnary), kMultiply, left.named || right.named};
    }
    return left;
  }
  Part Unary() {
    if (IsSymbol("-") || IsSymbol("+")) {
      const std::string op = Next().text;
      Part inner = Unary();
      return {(op == "-" ? "-" : "") + Wrap(inner, kUnary), kUnary, inner.named};
    }
    return Primary();
  }
  Part Primary() {
    const Token t = Next();
    switch (t.kind) {
      case Kind::Number:
        return {t.text, kPrimary};
      case Kind::String:
        return {AccessString(t.text), kPrimary};
      case Kind::Column:
        return ColumnPart(t.text);
      case Kind::Symbol:
        if (t.text == "(") {
          if (IsWord("SELECT")) throw Untranslatable("a subquery");
          Part inner = Or();
          Expect(")");
          return inner;
        }
        break;
      case Kind::Word:
        return WordPart(t.text);
      case Kind::End:
        throw Untranslatable("the expression ends early");
    }
    throw Untranslatable("\"" + t.text + "\"");
  }
  Part ColumnPart(const std::string& name) {
    if (name.find_first_of("[]") != std::string::npos) throw Untranslatable("the column name " + name);
    if (std::find(columns_.begin(), columns_.end(), name) == columns_.end()) columns_.push_back(name);
    const std::string dest = destName_ ? destName_(name) : name;
    if (dest.find_first_of("[]") != std::string::npos) throw Untranslatable("the column name " + dest);
    return {"[" + dest + "]", kPrimary, true, name};
  }
  Part WordPart(const std::string& word) {
    auto is = [&](const char* w) { return strcasecmp(word.c_str(), w) == 0; };
    if (is("NULL")) return {"Null", kPrimary};
    if (is("CURRENT_TIMESTAMP")) return {"Now()", kPrimary};
    if (!IsSymbol("(")) {
      for (const char* reserved : {"AND", "OR", "NOT", "CASE", "SELECT", "EXISTS"})
        if (is(reserved)) throw Untranslatable(word);
      return ColumnPart(word);  // a bare column name
    }
    Next();
    std::vector<Part> args;
    if (!IsSymbol(")")) {
      args.push_back(Or());
      while (IsSymbol(",")) {
        Next();
        args.push_back(Or());
      }
    }
    Expect(")");
    if ((is("getdate") || is("sysdatetime")) && args.empty()) return {"Now()", kPrimary};
    // LEN ignores trailing blanks; Access's Len counts them.
    bool named = false;
    for (const Part& a : args) named = named || a.named;
    if (is("len") && args.size() == 1) return {"Len(RTrim(" + args[0].text + "))", kPrimary, named};
    static const std::pair<const char*, const char*> kOneArgument[] = {
        {"upper", "UCase"}, {"lower", "LCase"}, {"ltrim", "LTrim"}, {"rtrim", "RTrim"}, {"abs", "Abs"}};
    for (const auto& [tsql, access] : kOneArgument)
      if (is(tsql) && args.size() == 1) return {std::string(access) + "(" + args[0].text + ")", kPrimary, named};
    throw Untranslatable("the function " + word + "()");
  }

  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
  std::vector<std::string> columns_;
  const std::function<std::string(const std::string&)>& destName_;
};

}  // namespace

std::string TranslateLikePattern(std::string_view pattern, std::string& problem) {
  std::string out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '%') {
      out += '*';
    } else if (c == '_') {
      out += '?';
    } else if (c == '*' || c == '?' || c == '#') {
      out += std::string("[") + c + "]";
    } else if (c == '[') {
      const std::size_t close = pattern.find(']', i + 2);
      if (close == std::string_view::npos) {
        problem = "the LIKE pattern has an unclosed '['";
        return {};
      }
      std::string_view set = pattern.substr(i + 1, close - i - 1);
      if (set.front() == '!') {
        problem = "the LIKE pattern's set [" + std::string(set) + "] starts with '!'";
        return {};
      }
      out += '[';
      if (set.front() == '^') {
        out += '!';
        set.remove_prefix(1);
      }
      out += set;
      out += ']';
      i = close;
    } else {
      out += c;
    }
  }
  return out;
}

std::string CheckClauses::ForColumn(const std::string& sourceColumn) const {
  std::string clauses;
  for (const auto& [column, clause] : columnClauses)
    if (column == sourceColumn) clauses += clause;
  return clauses;
}

CheckClauses PlanCheckClauses(const std::vector<NamedCheck>& checks,
                              const std::function<std::string(const std::string&)>& destName,
                              const std::function<std::string(const std::string&)>& quoteName) {
  CheckClauses plan;
  for (const NamedCheck& check : checks) {
    const CheckTranslation t = TranslateCheck(check.definition, destName);
    const std::string constraint = "CONSTRAINT " + quoteName(check.name) + " CHECK (";
    if (!t.translated) {
      plan.notes.push_back("CHECK constraint \"" + check.name + "\" " + check.definition + " is not carried: " +
                           t.problem);
    } else if (!t.fieldRule.empty()) {
      plan.columnClauses.emplace_back(t.columns.front(), " " + constraint + t.fieldRule + ")");
    } else {
      plan.tableClauses += ", " + constraint + t.expression + ")";
    }
  }
  return plan;
}

CheckTranslation TranslateCheck(std::string_view definition,
                                const std::function<std::string(const std::string&)>& destName) {
  try {
    return Translator(definition, destName).Run();
  } catch (const Untranslatable& e) {
    CheckTranslation failed;
    failed.problem = std::string("Access has no equivalent of ") + e.what();
    return failed;
  }
}

}  // namespace talvoro::engine
