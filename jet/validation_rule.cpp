#include "jet/validation_rule.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>
#include <variant>

#include "jet/system_catalog.h"

namespace jet {

// What an expression yields while a rule is evaluated.
using RuleValue = std::variant<Null, bool, double, std::string, DateTime>;

struct RuleNode {
  enum class Kind { Literal, Column, Unary, Binary, Between, In, Like, IsNull, Function } kind;
  std::string op;  // operator, function name or column name
  RuleValue literal;
  bool negated = false;
  std::vector<std::unique_ptr<RuleNode>> args;
};

namespace {

using Node = std::unique_ptr<RuleNode>;

[[noreturn]] void Refuse(const std::string& what) {
  throw Error(ErrorCode::InvalidDefinition, "The validation rule cannot be read: " + what);
}

enum class Kind { Word, Name, String, Number, Symbol, End };
struct Token {
  Kind kind = Kind::End;
  std::string text;
};

std::vector<Token> Tokenize(std::string_view s) {
  std::vector<Token> out;
  for (std::size_t i = 0; i < s.size();) {
    const char c = s[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (c == '[') {
      std::size_t close = s.find(']', i);
      if (close == std::string_view::npos) Refuse("an unclosed [");
      out.push_back({Kind::Name, std::string(s.substr(i + 1, close - i - 1))});
      i = close + 1;
    } else if (c == '"' || c == '\'') {
      std::string text;
      for (++i;; ++i) {
        if (i >= s.size()) Refuse("an unterminated string");
        if (s[i] == c) {
          if (i + 1 < s.size() && s[i + 1] == c) {
            text.push_back(c);
            ++i;
            continue;
          }
          ++i;
          break;
        }
        text.push_back(s[i]);
      }
      out.push_back({Kind::String, text});
    } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') {
      std::size_t start = i;
      while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '.')) ++i;
      if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
      }
      out.push_back({Kind::Number, std::string(s.substr(start, i - start))});
    } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      std::size_t start = i;
      while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '_')) ++i;
      out.push_back({Kind::Word, std::string(s.substr(start, i - start))});
    } else {
      std::string text(1, c);
      for (const char* two : {"<=", ">=", "<>"})
        if (s.substr(i, 2) == two) text = two;
      if (text.size() == 1 && std::string_view("=<>+-*/&(),").find(c) == std::string_view::npos)
        Refuse(std::string("the character '") + c + "'");
      i += text.size();
      out.push_back({Kind::Symbol, text});
    }
  }
  out.push_back({});
  return out;
}

class Parser {
 public:
  Parser(std::string_view text, std::string_view field, std::vector<std::string>& columns)
      : tokens_(Tokenize(text)), field_(field), columns_(columns) {}

  Node Parse() {
    Node root = Or();
    if (Peek().kind != Kind::End) Refuse("\"" + Peek().text + "\" after the end");
    return root;
  }

 private:
  const Token& Peek(std::size_t ahead = 0) const { return tokens_[std::min(pos_ + ahead, tokens_.size() - 1)]; }
  Token Next() { return tokens_[std::min(pos_++, tokens_.size() - 1)]; }
  bool IsWord(const char* w, std::size_t ahead = 0) const {
    return Peek(ahead).kind == Kind::Word && strcasecmp(Peek(ahead).text.c_str(), w) == 0;
  }
  bool IsSymbol(const char* s) const { return Peek().kind == Kind::Symbol && Peek().text == s; }
  void Expect(const char* s) {
    if (!IsSymbol(s)) Refuse(std::string("expected '") + s + "'");
    Next();
  }
  static Node Make(RuleNode::Kind kind, std::string op, std::vector<Node> args) {
    auto n = std::make_unique<RuleNode>();
    n->kind = kind;
    n->op = std::move(op);
    n->args = std::move(args);
    return n;
  }
  static std::vector<Node> Two(Node a, Node b) {
    std::vector<Node> v;
    v.push_back(std::move(a));
    v.push_back(std::move(b));
    return v;
  }
  Node ColumnNode(const std::string& name) {
    if (std::none_of(columns_.begin(), columns_.end(),
                     [&](const std::string& c) { return strcasecmp(c.c_str(), name.c_str()) == 0; }))
      columns_.push_back(name);
    return Make(RuleNode::Kind::Column, name, {});
  }

  Node Or() {
    Node left = And();
    while (IsWord("Or")) {
      Next();
      left = Make(RuleNode::Kind::Binary, "Or", Two(std::move(left), And()));
    }
    return left;
  }
  Node And() {
    Node left = Not();
    while (IsWord("And")) {
      Next();
      left = Make(RuleNode::Kind::Binary, "And", Two(std::move(left), Not()));
    }
    return left;
  }
  Node Not() {
    if (IsWord("Not") && !(IsWord("Between", 1) || IsWord("In", 1) || IsWord("Like", 1))) {
      Next();
      std::vector<Node> arg;
      arg.push_back(Not());
      return Make(RuleNode::Kind::Unary, "Not", std::move(arg));
    }
    return Predicate();
  }
  bool StartsImplied() const {
    if (field_.empty()) return false;
    if (Peek().kind == Kind::Symbol)
      for (const char* op : {"=", "<>", "<", ">", "<=", ">="})
        if (Peek().text == op) return true;
    return IsWord("Between") || IsWord("In") || IsWord("Like") || IsWord("Is") ||
           (IsWord("Not") && (IsWord("Between", 1) || IsWord("In", 1) || IsWord("Like", 1)));
  }
  Node Predicate() {
    Node left = StartsImplied() ? ColumnNode(std::string(field_)) : Concatenation();
    if (Peek().kind == Kind::Symbol)
      for (const char* op : {"=", "<>", "<", ">", "<=", ">="})
        if (Peek().text == op) {
          Next();
          return Make(RuleNode::Kind::Binary, op, Two(std::move(left), Concatenation()));
        }
    if (IsWord("Is")) {
      Next();
      bool negated = IsWord("Not");
      if (negated) Next();
      if (!IsWord("Null")) Refuse("Is without Null");
      Next();
      std::vector<Node> arg;
      arg.push_back(std::move(left));
      Node n = Make(RuleNode::Kind::IsNull, "Is", std::move(arg));
      n->negated = negated;
      return n;
    }
    const bool negated = IsWord("Not") && (IsWord("Between", 1) || IsWord("In", 1) || IsWord("Like", 1));
    if (negated) Next();
    Node n;
    if (IsWord("Between")) {
      Next();
      std::vector<Node> args;
      args.push_back(std::move(left));
      args.push_back(Concatenation());
      if (!IsWord("And")) Refuse("Between without And");
      Next();
      args.push_back(Concatenation());
      n = Make(RuleNode::Kind::Between, "Between", std::move(args));
    } else if (IsWord("In")) {
      Next();
      Expect("(");
      std::vector<Node> args;
      args.push_back(std::move(left));
      args.push_back(Concatenation());
      while (IsSymbol(",")) {
        Next();
        args.push_back(Concatenation());
      }
      Expect(")");
      n = Make(RuleNode::Kind::In, "In", std::move(args));
    } else if (IsWord("Like")) {
      Next();
      n = Make(RuleNode::Kind::Like, "Like", Two(std::move(left), Concatenation()));
    } else {
      return left;
    }
    n->negated = negated;
    return n;
  }
  Node Concatenation() {
    Node left = Additive();
    while (IsSymbol("&")) {
      Next();
      left = Make(RuleNode::Kind::Binary, "&", Two(std::move(left), Additive()));
    }
    return left;
  }
  Node Additive() {
    Node left = Multiplicative();
    while (IsSymbol("+") || IsSymbol("-")) {
      std::string op = Next().text;
      left = Make(RuleNode::Kind::Binary, op, Two(std::move(left), Multiplicative()));
    }
    return left;
  }
  Node Multiplicative() {
    Node left = Unary();
    while (IsSymbol("*") || IsSymbol("/") || IsWord("Mod")) {
      std::string op = Next().text;
      left = Make(RuleNode::Kind::Binary, IsModWord(op) ? "Mod" : op, Two(std::move(left), Unary()));
    }
    return left;
  }
  static bool IsModWord(const std::string& op) { return strcasecmp(op.c_str(), "Mod") == 0; }
  Node Unary() {
    if (IsSymbol("-")) {
      Next();
      std::vector<Node> arg;
      arg.push_back(Unary());
      return Make(RuleNode::Kind::Unary, "-", std::move(arg));
    }
    return Primary();
  }
  Node Primary() {
    const Token t = Next();
    auto literal = [](RuleValue v) {
      auto n = std::make_unique<RuleNode>();
      n->kind = RuleNode::Kind::Literal;
      n->literal = std::move(v);
      return n;
    };
    switch (t.kind) {
      case Kind::Number:
        try {
          return literal(std::stod(t.text));
        } catch (const std::exception&) {
          Refuse("the number " + t.text);
        }
      case Kind::String:
        return literal(t.text);
      case Kind::Name:
        return ColumnNode(t.text);
      case Kind::Symbol:
        if (t.text == "(") {
          Node inner = Or();
          Expect(")");
          return inner;
        }
        break;
      case Kind::Word: {
        if (strcasecmp(t.text.c_str(), "Null") == 0) return literal(Null{});
        if (strcasecmp(t.text.c_str(), "True") == 0) return literal(true);
        if (strcasecmp(t.text.c_str(), "False") == 0) return literal(false);
        if (!IsSymbol("(")) return ColumnNode(t.text);
        Next();
        std::vector<Node> args;
        if (!IsSymbol(")")) {
          args.push_back(Or());
          while (IsSymbol(",")) {
            Next();
            args.push_back(Or());
          }
        }
        Expect(")");
        static const std::pair<const char*, std::size_t> kFunctions[] = {
            {"Now", 0}, {"Date", 0}, {"Len", 1}, {"RTrim", 1}, {"LTrim", 1},
            {"Trim", 1}, {"UCase", 1}, {"LCase", 1}, {"Abs", 1}};
        for (const auto& [name, count] : kFunctions)
          if (strcasecmp(t.text.c_str(), name) == 0) {
            if (args.size() != count) Refuse(std::string(name) + "() with " + std::to_string(args.size()) + " arguments");
            return Make(RuleNode::Kind::Function, name, std::move(args));
          }
        Refuse("the function " + t.text + "()");
      }
      case Kind::End:
        Refuse("it ends early");
    }
    Refuse("\"" + t.text + "\"");
  }

  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
  std::string_view field_;
  std::vector<std::string>& columns_;
};

// ---- Evaluation ----------------------------------------------------------

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

RuleValue FromCell(const Value& v) {
  return std::visit(
      [](const auto& x) -> RuleValue {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, Null>) return Null{};
        else if constexpr (std::is_same_v<T, bool>) return x;
        else if constexpr (std::is_same_v<T, std::int64_t>) return static_cast<double>(x);
        else if constexpr (std::is_same_v<T, double>) return x;
        else if constexpr (std::is_same_v<T, Currency>) return static_cast<double>(x.scaled) / 10000.0;
        else if constexpr (std::is_same_v<T, DateTime>) return x;
        else if constexpr (std::is_same_v<T, Decimal>) {
          double d = static_cast<double>(x.unscaled) / std::pow(10.0, x.scale);
          return x.negative ? -d : d;
        } else if constexpr (std::is_same_v<T, std::string>) return x;
        else return Null{};  // Guid, binary: nothing a rule compares
      },
      v);
}

bool IsNull(const RuleValue& v) { return std::holds_alternative<Null>(v); }

std::optional<double> AsNumber(const RuleValue& v) {
  if (auto* d = std::get_if<double>(&v)) return *d;
  if (auto* b = std::get_if<bool>(&v)) return *b ? -1.0 : 0.0;  // Access's True is -1
  if (auto* t = std::get_if<DateTime>(&v)) return t->days;
  if (auto* s = std::get_if<std::string>(&v)) {
    try {
      std::size_t used = 0;
      double d = std::stod(*s, &used);
      if (used == s->size()) return d;
    } catch (const std::exception&) {
    }
  }
  return std::nullopt;
}

std::string AsText(const RuleValue& v) {
  if (auto* s = std::get_if<std::string>(&v)) return *s;
  if (auto d = AsNumber(v)) {
    std::string text = std::to_string(*d);
    if (text.find('.') != std::string::npos) {
      while (text.back() == '0') text.pop_back();
      if (text.back() == '.') text.pop_back();
    }
    return text;
  }
  return {};
}

// <0, 0, >0; nullopt when the two cannot be compared.
std::optional<int> Compare(const RuleValue& a, const RuleValue& b) {
  const bool aText = std::holds_alternative<std::string>(a), bText = std::holds_alternative<std::string>(b);
  if (aText && bText) {
    const std::string x = Upper(std::get<std::string>(a)), y = Upper(std::get<std::string>(b));
    return x < y ? -1 : (x == y ? 0 : 1);
  }
  auto x = AsNumber(a), y = AsNumber(b);
  if (!x || !y) return std::nullopt;
  return *x < *y ? -1 : (*x == *y ? 0 : 1);
}

// Three-valued truth: nullopt is Null.
std::optional<bool> Truth(const RuleValue& v) {
  if (IsNull(v)) return std::nullopt;
  if (auto d = AsNumber(v)) return *d != 0;
  return std::nullopt;
}

class Evaluator {
 public:
  Evaluator(const std::function<Value(const std::string&)>& column, DateTime now) : column_(column), now_(now) {}

  RuleValue Eval(const RuleNode& n) const {
    using K = RuleNode::Kind;
    switch (n.kind) {
      case K::Literal:
        return n.literal;
      case K::Column:
        return FromCell(column_(n.op));
      case K::Unary: {
        RuleValue v = Eval(*n.args[0]);
        if (n.op == "Not") {
          auto t = Truth(v);
          return t ? RuleValue(!*t) : RuleValue(Null{});
        }
        auto d = AsNumber(v);
        return d ? RuleValue(-*d) : RuleValue(Null{});
      }
      case K::Binary:
        return Binary(n);
      case K::Between: {
        RuleValue v = Eval(*n.args[0]), lo = Eval(*n.args[1]), hi = Eval(*n.args[2]);
        if (IsNull(v) || IsNull(lo) || IsNull(hi)) return Null{};
        auto a = Compare(v, lo), b = Compare(v, hi);
        if (!a || !b) return Null{};
        return (*a >= 0 && *b <= 0) != n.negated;
      }
      case K::In: {
        RuleValue v = Eval(*n.args[0]);
        if (IsNull(v)) return Null{};
        bool unknown = false;
        for (std::size_t i = 1; i < n.args.size(); ++i) {
          RuleValue item = Eval(*n.args[i]);
          auto c = Compare(v, item);
          if (IsNull(item) || !c) unknown = true;
          else if (*c == 0) return !n.negated;
        }
        return unknown ? RuleValue(Null{}) : RuleValue(n.negated);
      }
      case K::Like: {
        RuleValue v = Eval(*n.args[0]), p = Eval(*n.args[1]);
        if (IsNull(v) || IsNull(p)) return Null{};
        return AccessLike(AsText(v), AsText(p)) != n.negated;
      }
      case K::IsNull:
        return IsNull(Eval(*n.args[0])) != n.negated;
      case K::Function:
        return Function(n);
    }
    return Null{};
  }

 private:
  RuleValue Binary(const RuleNode& n) const {
    if (n.op == "And" || n.op == "Or") {
      auto a = Truth(Eval(*n.args[0])), b = Truth(Eval(*n.args[1]));
      if (n.op == "And") {
        if ((a && !*a) || (b && !*b)) return false;
        return a && b ? RuleValue(true) : RuleValue(Null{});
      }
      if ((a && *a) || (b && *b)) return true;
      return a && b ? RuleValue(false) : RuleValue(Null{});
    }
    RuleValue a = Eval(*n.args[0]), b = Eval(*n.args[1]);
    if (n.op == "&") return AsText(a) + AsText(b);
    if (IsNull(a) || IsNull(b)) return Null{};
    if (n.op.size() <= 2 && n.op.find_first_of("=<>") != std::string::npos) {
      auto c = Compare(a, b);
      if (!c) return Null{};
      if (n.op == "=") return *c == 0;
      if (n.op == "<>") return *c != 0;
      if (n.op == "<") return *c < 0;
      if (n.op == ">") return *c > 0;
      if (n.op == "<=") return *c <= 0;
      return *c >= 0;
    }
    if (n.op == "+" && std::holds_alternative<std::string>(a) && std::holds_alternative<std::string>(b))
      return std::get<std::string>(a) + std::get<std::string>(b);
    auto x = AsNumber(a), y = AsNumber(b);
    if (!x || !y) return Null{};
    if (n.op == "+") return *x + *y;
    if (n.op == "-") return *x - *y;
    if (n.op == "*") return *x * *y;
    if (*y == 0) return Null{};
    if (n.op == "/") return *x / *y;
    return std::fmod(std::round(*x), std::round(*y));  // Mod rounds its operands
  }

  RuleValue Function(const RuleNode& n) const {
    if (n.op == "Now") return now_;
    if (n.op == "Date") return DateTime{std::floor(now_.days)};
    RuleValue v = Eval(*n.args[0]);
    if (IsNull(v)) return Null{};
    if (n.op == "Abs") {
      auto d = AsNumber(v);
      return d ? RuleValue(std::fabs(*d)) : RuleValue(Null{});
    }
    std::string s = AsText(v);
    if (n.op == "Len") return static_cast<double>(Utf8Length(s));
    if (n.op == "UCase") return Upper(s);
    if (n.op == "LCase") {
      for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      return s;
    }
    if (n.op == "RTrim" || n.op == "Trim") s.erase(s.find_last_not_of(' ') + 1);
    if (n.op == "LTrim" || n.op == "Trim") s.erase(0, std::min(s.find_first_not_of(' '), s.size()));
    return s;
  }

  static std::size_t Utf8Length(const std::string& s) {
    return static_cast<std::size_t>(
        std::count_if(s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
  }

  const std::function<Value(const std::string&)>& column_;
  DateTime now_;
};

bool LikeFrom(std::string_view t, std::size_t ti, std::string_view p, std::size_t pi) {
  while (pi < p.size()) {
    const char c = p[pi];
    if (c == '*') {
      for (std::size_t k = ti; k <= t.size(); ++k)
        if (LikeFrom(t, k, p, pi + 1)) return true;
      return false;
    }
    if (ti >= t.size()) return false;
    const unsigned char ch = static_cast<unsigned char>(t[ti]);
    if (c == '?') {
      // One character: a whole UTF-8 sequence.
      ++ti;
      while (ti < t.size() && (static_cast<unsigned char>(t[ti]) & 0xC0) == 0x80) ++ti;
      ++pi;
      continue;
    }
    if (c == '#') {
      if (!std::isdigit(ch)) return false;
    } else if (c == '[') {
      std::size_t close = p.find(']', pi + 1);
      if (close == std::string_view::npos) return false;
      std::string_view set = p.substr(pi + 1, close - pi - 1);
      bool negate = !set.empty() && set.front() == '!';
      if (negate) set.remove_prefix(1);
      bool in = false;
      const int up = std::toupper(ch);
      for (std::size_t k = 0; k < set.size(); ++k) {
        if (k + 2 < set.size() && set[k + 1] == '-') {
          const int lo = std::toupper(static_cast<unsigned char>(set[k])), hi = std::toupper(static_cast<unsigned char>(set[k + 2]));
          if (up >= lo && up <= hi) in = true;
          k += 2;
        } else if (std::toupper(static_cast<unsigned char>(set[k])) == up) {
          in = true;
        }
      }
      if (in == negate) return false;
      pi = close;
    } else if (std::toupper(static_cast<unsigned char>(c)) != std::toupper(ch)) {
      return false;
    }
    ++ti;
    ++pi;
  }
  return ti == t.size();
}

}  // namespace

bool AccessLike(std::string_view text, std::string_view pattern) { return LikeFrom(text, 0, pattern, 0); }

ValidationRule::ValidationRule(std::string_view text, std::string_view field) {
  root_ = Parser(text, field, columns_).Parse();
}
ValidationRule::~ValidationRule() = default;
ValidationRule::ValidationRule(ValidationRule&&) noexcept = default;
ValidationRule& ValidationRule::operator=(ValidationRule&&) noexcept = default;

RowRules::RowRules(const TableDef& table) {
  auto add = [&](const std::string& text, std::string_view field, const std::string& message) {
    if (text.empty()) return;
    Rule r{ValidationRule(text, field), message.empty() ? "The row breaks the validation rule " + text : message};
    for (const std::string& name : r.rule.columns())
      if (std::none_of(table.columns.begin(), table.columns.end(),
                       [&](const ColumnDef& c) { return strcasecmp(c.name.c_str(), name.c_str()) == 0; }))
        throw Error(ErrorCode::InvalidDefinition,
                    "The validation rule " + text + " names the column '" + name + "', which the table does not have");
    if (!field.empty() && r.rule.columns() != std::vector<std::string>{std::string(field)})
      throw Error(ErrorCode::InvalidDefinition,
                  "The validation rule of column '" + std::string(field) + "' names another column: " + text);
    rules_.push_back(std::move(r));
  };
  for (const ColumnDef& c : table.columns) add(c.validationRule, c.name, c.validationText);
  add(table.validationRule, {}, table.validationText);
}

void RowRules::Check(const TableDef& table, const std::vector<Value>& row) const {
  if (rules_.empty()) return;
  const DateTime now{OleDateNow()};
  auto cell = [&](const std::string& name) -> Value {
    for (std::size_t i = 0; i < table.columns.size() && i < row.size(); ++i)
      if (strcasecmp(table.columns[i].name.c_str(), name.c_str()) == 0) return row[i];
    return Null{};
  };
  for (const Rule& r : rules_)
    if (!r.rule.Holds(cell, now)) throw Error(ErrorCode::RuleBroken, r.text);
}

bool ValidationRule::Holds(const std::function<Value(const std::string&)>& column, DateTime now) const {
  auto t = Truth(Evaluator(column, now).Eval(*root_));
  return !t || *t;
}

}  // namespace jet
