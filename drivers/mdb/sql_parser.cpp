#include "sql_parser.h"

#include <charconv>

#include "plain_insert.h"
#include "sql_error.h"
#include "sql_tokenizer.h"

namespace mdb {
namespace {

class Parser {
 public:
  // The token list is kept from statement to statement on each thread, so that
  // parsing a statement allocates nothing for its tokens.
  explicit Parser(std::string_view sql) : sql_(sql), list_(ThreadTokenList()) { Tokenize(sql, list_); }
  ~Parser() { list_.unescaped.clear(); }  // long texts are not kept until the next statement

  // Hands the undone strings that the literals view to `texts`.
  void KeepUnescaped(std::list<std::string>& texts) { texts.splice(texts.end(), list_.unescaped); }
  bool HasUnescaped() const { return !list_.unescaped.empty(); }
  Parser(const Parser&) = delete;
  Parser& operator=(const Parser&) = delete;

  Statement Parse() {
    Statement statement;
    if (IsKeyword("CREATE") && (IsKeyword("INDEX", 1) || (IsKeyword("UNIQUE", 1) && IsKeyword("INDEX", 2)))) {
      statement = ParseCreateIndex();
    } else if (IsKeyword("CREATE")) {
      statement = ParseCreateTable();
    } else if (IsKeyword("ALTER")) {
      statement = ParseAlterTable();
    } else if (IsKeyword("INSERT")) {
      statement = ParseInsert();
    } else if (IsKeyword("SELECT")) {
      statement = ParseSelect();
    } else if (Peek().kind == TokenKind::End) {
      Fail("empty statement");
    } else {
      Fail("expected CREATE TABLE, CREATE INDEX, ALTER TABLE, INSERT INTO or SELECT, found " + Describe(Peek()));
    }
    if (IsSymbol(';')) Next();
    if (Peek().kind != TokenKind::End) Fail("unexpected " + Describe(Peek()) + " after the statement");
    return statement;
  }

 private:
  const Token& Peek(std::size_t ahead = 0) const {
    std::size_t i = pos_ + ahead;
    return i < list_.tokens.size() ? list_.tokens[i] : list_.tokens.back();
  }
  const Token& Next() {
    const Token& t = Peek();
    if (pos_ < list_.tokens.size() - 1) ++pos_;
    return t;
  }
  bool IsKeyword(std::string_view word, std::size_t ahead = 0) const {
    const Token& t = Peek(ahead);
    return t.kind == TokenKind::Word && EqualsIgnoreCase(t.text, word);
  }
  // Symbols are single characters.
  bool IsSymbol(char symbol) const {
    const Token& t = Peek();
    return t.kind == TokenKind::Symbol && t.text[0] == symbol;
  }

  static std::string Describe(const Token& t) {
    switch (t.kind) {
      case TokenKind::End: return "the end of the statement";
      case TokenKind::String: return "'" + std::string(t.text) + "'";
      case TokenKind::QuotedName: return "\"" + std::string(t.text) + "\"";
      default: return "'" + std::string(t.text) + "'";
    }
  }

  [[noreturn]] void Fail(const std::string& what) const { FailAt(Peek().offset, what); }
  [[noreturn]] void FailAt(std::size_t offset, const std::string& what) const {
    throw SqlError("42000", "Syntax error at position " +
                                std::to_string(CharacterPosition(sql_, offset)) + ": " + what);
  }

  void ExpectKeyword(std::string_view word) {
    if (!IsKeyword(word)) Fail("expected " + std::string(word) + ", found " + Describe(Peek()));
    Next();
  }
  void ExpectSymbol(char symbol) {
    if (!IsSymbol(symbol))
      Fail(std::string("expected '") + symbol + "', found " + Describe(Peek()));
    Next();
  }

  std::string Name(const char* what) {
    const Token& t = Peek();
    if (t.kind != TokenKind::Word && t.kind != TokenKind::QuotedName)
      Fail(std::string("expected ") + what + ", found " + Describe(t));
    if (t.text.empty()) Fail(std::string("empty ") + what);
    return std::string(Next().text);
  }

  // A table name; an owner prefix such as dbo.Orders names the same table.
  std::string TableName() {
    std::string name = Name("a table name");
    while (IsSymbol('.')) {
      Next();
      name = Name("a table name");
    }
    return name;
  }

  std::vector<std::string> NameList(const char* what) {
    std::vector<std::string> names;
    ExpectSymbol('(');
    names.push_back(Name(what));
    while (IsSymbol(',')) {
      Next();
      names.push_back(Name(what));
    }
    ExpectSymbol(')');
    return names;
  }

  long long Integer() {
    const Token& t = Peek();
    long long value = 0;
    if (t.kind != TokenKind::Number) Fail("expected a number, found " + Describe(t));
    auto [end, ec] = std::from_chars(t.text.data(), t.text.data() + t.text.size(), value);
    if (ec != std::errc() || end != t.text.data() + t.text.size())
      Fail("expected a whole number, found " + Describe(t));
    Next();
    return value;
  }

  Statement ParseCreateTable() {
    Next();
    ExpectKeyword("TABLE");
    CreateTableStatement create;
    create.table = TableName();
    ExpectSymbol('(');
    do {
      if (IsKeyword("CONSTRAINT") && IsKeyword("CHECK", 2)) {
        Next();
        std::string name = Name("a constraint name");
        create.checks.push_back({name, CheckRule(), {}});
      } else if (IsKeyword("CHECK")) {
        create.checks.push_back({{}, CheckRule(), {}});
      } else if (IsKeyword("CONSTRAINT") || (IsKeyword("PRIMARY") && IsKeyword("KEY", 1))) {
        std::size_t at = Peek().offset;
        std::string keyName;
        if (IsKeyword("CONSTRAINT")) {
          Next();
          keyName = Name("a constraint name");
        }
        ExpectKeyword("PRIMARY");
        ExpectKeyword("KEY");
        if (!create.keyColumns.empty()) FailAt(at, "more than one PRIMARY KEY constraint");
        create.keyColumns = NameList("a key column name");
        create.keyName = keyName;
      } else {
        create.columns.push_back(ParseColumn(create.checks));
      }
      if (IsSymbol(',')) {
        Next();
        continue;
      }
      break;
    } while (true);
    ExpectSymbol(')');
    return create;
  }

  Statement ParseCreateIndex() {
    Next();
    CreateIndexStatement index;
    if (IsKeyword("UNIQUE")) {
      Next();
      index.unique = true;
    }
    ExpectKeyword("INDEX");
    index.name = Name("an index name");
    ExpectKeyword("ON");
    index.table = TableName();
    ExpectSymbol('(');
    do {
      CreateIndexStatement::Column column;
      column.name = Name("a column name");
      if (IsKeyword("ASC")) {
        Next();
      } else if (IsKeyword("DESC")) {
        Next();
        column.ascending = false;
      }
      index.columns.push_back(std::move(column));
      if (!IsSymbol(',')) break;
      Next();
    } while (true);
    ExpectSymbol(')');
    if (IsKeyword("WITH")) {
      Next();
      do {
        if (IsKeyword("PRIMARY")) {
          Next();
          index.primary = true;
        } else if (IsKeyword("DISALLOW")) {
          Next();
          ExpectKeyword("NULL");
          index.disallowNull = true;
        } else if (IsKeyword("IGNORE")) {
          Next();
          ExpectKeyword("NULL");
          index.ignoreNull = true;
        } else {
          Fail("expected PRIMARY, DISALLOW NULL or IGNORE NULL after WITH, found " + Describe(Peek()));
        }
      } while (IsKeyword("PRIMARY") || IsKeyword("DISALLOW") || IsKeyword("IGNORE"));
    }
    return index;
  }

  Statement ParseAlterTable() {
    Next();
    ExpectKeyword("TABLE");
    AddForeignKeyStatement foreignKey;
    foreignKey.table = TableName();
    ExpectKeyword("ADD");
    ExpectKeyword("CONSTRAINT");
    foreignKey.name = Name("a constraint name");
    if (!IsKeyword("FOREIGN")) Fail("expected FOREIGN KEY (the only constraint ALTER TABLE adds), found " + Describe(Peek()));
    Next();
    ExpectKeyword("KEY");
    foreignKey.columns = NameList("a column name");
    ExpectKeyword("REFERENCES");
    foreignKey.referencedTable = TableName();
    if (IsSymbol('(')) foreignKey.referencedColumns = NameList("a column name");
    while (IsKeyword("ON")) {
      Next();
      bool update = IsKeyword("UPDATE");
      if (!update && !IsKeyword("DELETE")) Fail("expected UPDATE or DELETE after ON, found " + Describe(Peek()));
      Next();
      if (IsKeyword("CASCADE")) {
        Next();
        (update ? foreignKey.cascadeUpdates : foreignKey.cascadeDeletes) = true;
      } else if (IsKeyword("NO") && IsKeyword("ACTION", 1)) {
        Next();
        Next();
      } else {
        Fail("expected CASCADE or NO ACTION, found " + Describe(Peek()));
      }
    }
    if (IsKeyword("NOT") && IsKeyword("ENFORCED", 1)) {
      Next();
      Next();
      foreignKey.enforce = false;
    }
    return foreignKey;
  }

  static bool IsConstraintWord(const Token& t) {
    return t.kind == TokenKind::Word &&
           (EqualsIgnoreCase(t.text, "PRIMARY") || EqualsIgnoreCase(t.text, "NOT") ||
            EqualsIgnoreCase(t.text, "NULL") || EqualsIgnoreCase(t.text, "CONSTRAINT") ||
            EqualsIgnoreCase(t.text, "DEFAULT") || EqualsIgnoreCase(t.text, "CHECK"));
  }

  // CHECK (rule): the rule's text as written, between the outer parentheses.
  std::string CheckRule() {
    ExpectKeyword("CHECK");
    if (!IsSymbol('(')) Fail("expected '(' after CHECK, found " + Describe(Peek()));
    const std::size_t open = Next().offset;
    for (int depth = 1;;) {
      const Token& t = Peek();
      if (t.kind == TokenKind::End) Fail("the CHECK rule has no closing ')'");
      if (IsSymbol('(')) ++depth;
      if (IsSymbol(')') && --depth == 0) {
        const std::size_t close = Next().offset;
        return std::string(sql_.substr(open + 1, close - open - 1));
      }
      Next();
    }
  }

  ColumnSpec ParseColumn(std::vector<CheckSpec>& checks) {
    ColumnSpec column;
    column.name = Name("a column name");
    const Token& typeToken = Peek();
    if (typeToken.kind != TokenKind::Word || IsConstraintWord(typeToken))
      Fail("expected a type for column \"" + column.name + "\", found " + Describe(typeToken));
    column.type.word = std::string(Next().text);
    // Two-word types: DOUBLE PRECISION, CHARACTER VARYING, NATIONAL CHAR[ACTER] [VARYING].
    while (Peek().kind == TokenKind::Word && !IsConstraintWord(Peek()) &&
           (EqualsIgnoreCase(Peek().text, "PRECISION") || EqualsIgnoreCase(Peek().text, "VARYING") ||
            (EqualsIgnoreCase(column.type.word, "NATIONAL") &&
             (EqualsIgnoreCase(Peek().text, "CHAR") || EqualsIgnoreCase(Peek().text, "CHARACTER") ||
              EqualsIgnoreCase(Peek().text, "TEXT"))))) {
      column.type.word += " ";
      column.type.word += Next().text;
    }
    if (IsSymbol('(')) {
      Next();
      if (IsKeyword("MAX")) {
        Next();
        column.type.size = -1;  // varchar(max): as long as a text may be
      } else {
        column.type.size = Integer();
      }
      if (IsSymbol(',')) {
        Next();
        column.type.scale = Integer();
      }
      ExpectSymbol(')');
    }
    while (true) {
      std::size_t at = Peek().offset;
      if (IsKeyword("CONSTRAINT")) {
        Next();
        std::string name = Name("a constraint name");
        if (IsKeyword("CHECK")) {
          checks.push_back({name, CheckRule(), column.name});
          continue;
        }
        if (!IsKeyword("PRIMARY")) Fail("expected PRIMARY KEY or CHECK, found " + Describe(Peek()));
      }
      if (IsKeyword("PRIMARY")) {
        Next();
        ExpectKeyword("KEY");
        if (column.primaryKey) FailAt(at, "PRIMARY KEY given twice for column \"" + column.name + "\"");
        column.primaryKey = true;
      } else if (IsKeyword("NOT")) {
        Next();
        ExpectKeyword("NULL");
        column.nullability = Nullability::NotNull;
      } else if (IsKeyword("NULL")) {
        Next();
        column.nullability = Nullability::Null;
      } else if (IsKeyword("CHECK")) {
        checks.push_back({{}, CheckRule(), column.name});
      } else if (IsKeyword("DEFAULT")) {
        Next();
        if (column.defaultExpression) FailAt(at, "DEFAULT given twice for column \"" + column.name + "\"");
        column.defaultExpression = DefaultExpression();
      } else {
        break;
      }
    }
    if (!IsSymbol(',') && !IsSymbol(')'))
      Fail("expected ',' or ')' after column \"" + column.name + "\", found " + Describe(Peek()));
    return column;
  }

  // The value after DEFAULT as Access writes it in the DefaultValue property.
  std::string DefaultExpression() {
    int parentheses = 0;
    while (IsSymbol('(')) {  // T-SQL writes ((0))
      Next();
      ++parentheses;
    }
    bool negative = false, signSeen = false;
    while (IsSymbol('+') || IsSymbol('-')) {
      if (IsSymbol('-')) negative = !negative;
      signSeen = true;
      Next();
    }
    const Token& t = Peek();
    std::string expression;
    if (t.kind == TokenKind::Number) {
      std::string_view digits = t.text;
      if (digits.size() > 1 && (digits[1] == 'x' || digits[1] == 'X')) {
        if (signSeen) Fail("a sign cannot stand before a hexadecimal value");
        unsigned long long value = 0;
        auto [end, ec] = std::from_chars(digits.data() + 2, digits.data() + digits.size(), value, 16);
        if (ec != std::errc() || end != digits.data() + digits.size()) Fail("hexadecimal value too large");
        expression = std::to_string(value);
      } else {
        expression = (negative ? "-" : "") + std::string(digits);
      }
      Next();
    } else if (signSeen) {
      Fail("expected a number after the sign, found " + Describe(t));
    } else if (t.kind == TokenKind::String || t.kind == TokenKind::QuotedName) {
      expression = "\"";
      for (char c : t.text) expression += c == '"' ? std::string("\"\"") : std::string(1, c);
      expression += "\"";
      Next();
    } else if (t.kind == TokenKind::Word && (EqualsIgnoreCase(t.text, "TRUE") || EqualsIgnoreCase(t.text, "FALSE") ||
                                             EqualsIgnoreCase(t.text, "NULL"))) {
      expression = EqualsIgnoreCase(t.text, "TRUE") ? "True" : EqualsIgnoreCase(t.text, "FALSE") ? "False" : "Null";
      Next();
    } else if (t.kind == TokenKind::Word && Peek(1).kind == TokenKind::Symbol && Peek(1).text[0] == '(') {
      expression = std::string(t.text);
      for (const char* known : {"Now", "Date", "Time"})
        if (EqualsIgnoreCase(expression, known)) expression = known;
      Next();
      Next();
      ExpectSymbol(')');
      expression += "()";
    } else {
      Fail("expected a constant or a function such as Now() after DEFAULT, found " + Describe(t));
    }
    for (; parentheses > 0; --parentheses) ExpectSymbol(')');
    return expression;
  }

  Literal ParseLiteral(int& parameters) {
    Literal literal;
    literal.offset = Peek().offset;
    if (IsSymbol('?')) {
      literal.kind = Literal::Kind::Parameter;
      literal.parameter = parameters++;
      Next();
      return literal;
    }
    bool signSeen = false;
    while (IsSymbol('+') || IsSymbol('-')) {
      if (IsSymbol('-')) literal.negative = !literal.negative;
      signSeen = true;
      Next();
    }
    const Token& t = Peek();
    if (t.kind == TokenKind::Number) {
      if (t.text.size() > 1 && (t.text[1] == 'x' || t.text[1] == 'X')) {
        if (signSeen) Fail("a sign cannot stand before a hexadecimal value");
        literal.kind = Literal::Kind::HexNumber;
        literal.text = t.text.substr(2);
      } else {
        literal.kind = Literal::Kind::Number;
        literal.text = t.text;
      }
    } else if (signSeen) {
      Fail("expected a number after the sign, found " + Describe(t));
    } else if (t.kind == TokenKind::String) {
      literal.kind = Literal::Kind::String;
      literal.text = t.text;
    } else if (t.kind == TokenKind::Word && EqualsIgnoreCase(t.text, "NULL")) {
      literal.kind = Literal::Kind::Null;
    } else if (t.kind == TokenKind::Word &&
               (EqualsIgnoreCase(t.text, "TRUE") || EqualsIgnoreCase(t.text, "FALSE"))) {
      literal.kind = Literal::Kind::Boolean;
      literal.boolean = EqualsIgnoreCase(t.text, "TRUE");
    } else {
      Fail("expected a value, found " + Describe(t));
    }
    Next();
    return literal;
  }

  Statement ParseInsert() {
    Next();
    ExpectKeyword("INTO");
    InsertStatement insert;
    insert.table = TableName();
    if (IsSymbol('(')) insert.columns = NameList("a column name");
    ExpectKeyword("VALUES");
    ExpectSymbol('(');
    insert.values.reserve(16);
    insert.values.push_back(ParseLiteral(insert.parameterCount));
    while (IsSymbol(',')) {
      Next();
      insert.values.push_back(ParseLiteral(insert.parameterCount));
    }
    ExpectSymbol(')');
    return insert;
  }

  Statement ParseSelect() {
    Next();
    SelectStatement select;
    if (IsKeyword("COUNT")) {
      Next();
      ExpectSymbol('(');
      ExpectSymbol('*');
      ExpectSymbol(')');
      select.countOnly = true;
    } else {
      ExpectSymbol('*');
    }
    ExpectKeyword("FROM");
    select.table = TableName();
    return select;
  }

  std::string_view sql_;
  static TokenList& ThreadTokenList() {
    thread_local TokenList list;
    return list;
  }

  TokenList& list_;
  std::size_t pos_ = 0;
};

}  // namespace

Statement ParseStatement(std::string_view sql) {
  auto texts = std::make_shared<StatementTexts>();
  texts->source.assign(sql);
  Parser parser(texts->source);
  Statement statement = parser.Parse();
  if (auto* insert = std::get_if<InsertStatement>(&statement)) {
    parser.KeepUnescaped(texts->unescaped);
    insert->texts = std::move(texts);
  }
  return statement;
}

void ParseStatementInPlace(std::string_view sql, Statement& into) {
  auto* plain = std::get_if<InsertStatement>(&into);
  if (!plain) plain = &into.emplace<InsertStatement>();
  if (ParsePlainInsert(sql, *plain)) return;
  Parser parser(sql);
  into = parser.Parse();
  if (auto* insert = std::get_if<InsertStatement>(&into); insert && parser.HasUnescaped()) {
    auto texts = std::make_shared<StatementTexts>();
    parser.KeepUnescaped(texts->unescaped);
    insert->texts = std::move(texts);
  }
}

}  // namespace mdb
