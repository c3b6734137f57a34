#include "tsql_parser.h"

#include "collation.h"

#include <strings.h>

#include <cctype>
#include <cstdlib>
#include <stdexcept>

namespace standin {
namespace {

struct SyntaxError : std::runtime_error {
  SyntaxError(int number, const std::string& text) : std::runtime_error(text), number(number) {}
  int number;
};

// Words that begin a statement; a query ends before one of them at nesting depth 0.
const char* const kStatementStarts[] = {"SELECT", "INSERT", "UPDATE", "DELETE", "CREATE", "DROP", "USE",
                                        "SET", "BEGIN", "COMMIT", "ROLLBACK", "EXEC", "EXECUTE", "PRINT",
                                        "DECLARE", "IF", "TRUNCATE", "ALTER", "GO", "SAVE", "RETURN"};

class Parser {
 public:
  explicit Parser(ParsedBatch& batch) : b_(batch), t_(batch.tokens) {}

  void Run() {
    while (!Peek().kind_is_end()) {
      if (Peek().IsSymbol(";")) { ++pos_; continue; }
      if (Peek().IsWord("GO")) { ++pos_; continue; }
      b_.statements.push_back(ParseStatement());
    }
  }

 private:
  struct TokenView {
    const SqlToken& tok;
    bool kind_is_end() const { return tok.kind == SqlToken::Kind::End; }
    bool IsSymbol(const char* s) const { return tok.IsSymbol(s); }
    bool IsWord(const char* w) const { return tok.IsWord(w); }
  };

  TokenView Peek(size_t ahead = 0) const {
    const size_t i = std::min(pos_ + ahead, t_.size() - 1);
    return {t_[i]};
  }
  const SqlToken& Cur() const { return t_[std::min(pos_, t_.size() - 1)]; }

  [[noreturn]] void Fail() const {
    const SqlToken& t = Cur();
    if (t.kind == SqlToken::Kind::End) {
      const std::string last = pos_ > 0 ? TokenDisplay(t_[pos_ - 1]) : "";
      throw SyntaxError(102, "Incorrect syntax near '" + last + "'.");
    }
    throw SyntaxError(102, "Incorrect syntax near '" + TokenDisplay(t) + "'.");
  }

  bool AcceptWord(const char* w) {
    if (!Cur().IsWord(w)) return false;
    ++pos_;
    return true;
  }
  void ExpectWord(const char* w) { if (!AcceptWord(w)) Fail(); }
  bool AcceptSymbol(const char* s) {
    if (!Cur().IsSymbol(s)) return false;
    ++pos_;
    return true;
  }
  void ExpectSymbol(const char* s) { if (!AcceptSymbol(s)) Fail(); }

  std::string Name() {
    if (!Cur().IsName()) Fail();
    return t_[pos_++].text;
  }

  // [database.][schema.]name, also database..name.
  ObjectName QualifiedName() {
    std::vector<std::string> parts;
    parts.push_back(Name());
    while (Cur().IsSymbol(".")) {
      ++pos_;
      if (Cur().IsSymbol(".")) { parts.emplace_back(); continue; }  // db..name
      parts.push_back(Name());
    }
    if (parts.size() > 3) Fail();
    ObjectName n;
    n.name = parts.back();
    if (parts.size() == 3) n.database = parts[0];
    return n;
  }

  long long Integer() {
    bool negative = false;
    if (AcceptSymbol("-")) negative = true;
    else AcceptSymbol("+");
    if (Cur().kind != SqlToken::Kind::Number) Fail();
    const long long v = std::strtoll(t_[pos_++].text.c_str(), nullptr, 10);
    return negative ? -v : v;
  }

  // Skips a balanced parenthesised group starting at '('.
  void SkipParens() {
    ExpectSymbol("(");
    int depth = 1;
    while (depth > 0) {
      if (Cur().kind == SqlToken::Kind::End) Fail();
      if (Cur().IsSymbol("(")) ++depth;
      else if (Cur().IsSymbol(")")) --depth;
      ++pos_;
    }
  }

  std::vector<std::string> NameList(bool allowOrder) {
    std::vector<std::string> names;
    ExpectSymbol("(");
    do {
      names.push_back(Name());
      if (allowOrder && !AcceptWord("ASC")) AcceptWord("DESC");
    } while (AcceptSymbol(","));
    ExpectSymbol(")");
    return names;
  }

  bool AtStatementStart() const {
    for (const char* w : kStatementStarts)
      if (Cur().IsWord(w)) return true;
    return false;
  }

  // A query runs to ';', the end, or the next statement at depth 0.
  TokenRange QueryExtent() {
    TokenRange r{pos_, pos_};
    int depth = 0;
    bool first = true;
    while (Cur().kind != SqlToken::Kind::End) {
      if (depth == 0 && Cur().IsSymbol(";")) break;
      if (depth == 0 && !first && AtStatementStart()) {
        const SqlToken& prev = t_[pos_ - 1];
        const bool continues = prev.IsWord("UNION") || prev.IsWord("ALL") || prev.IsWord("EXCEPT") ||
                               prev.IsWord("INTERSECT") || prev.IsSymbol("(");
        if (!continues) break;
      }
      if (Cur().IsSymbol("(")) ++depth;
      if (Cur().IsSymbol(")")) {
        if (--depth < 0) Fail();
      }
      first = false;
      ++pos_;
    }
    if (depth != 0) Fail();
    r.end = pos_;
    return r;
  }

  // One value expression inside VALUES(...) or a DEFAULT: up to ',' or ')' at depth 0.
  TokenRange ExpressionExtent() {
    TokenRange r{pos_, pos_};
    int depth = 0;
    while (Cur().kind != SqlToken::Kind::End) {
      if (depth == 0 && (Cur().IsSymbol(",") || Cur().IsSymbol(")"))) break;
      if (Cur().IsSymbol("(")) ++depth;
      if (Cur().IsSymbol(")")) --depth;
      ++pos_;
    }
    r.end = pos_;
    if (r.empty()) Fail();
    return r;
  }

  // A DEFAULT's expression: (expr), a literal, a signed number, NULL or name(...).
  TokenRange DefaultExtent() {
    TokenRange r{pos_, pos_};
    if (Cur().IsSymbol("(")) {
      SkipParens();
    } else if (Cur().IsSymbol("-") || Cur().IsSymbol("+")) {
      ++pos_;
      if (Cur().kind != SqlToken::Kind::Number) Fail();
      ++pos_;
    } else if (Cur().kind == SqlToken::Kind::Word && Peek(1).IsSymbol("(")) {
      ++pos_;
      SkipParens();
    } else if (Cur().kind == SqlToken::Kind::String || Cur().kind == SqlToken::Kind::Number ||
               Cur().kind == SqlToken::Kind::Binary || Cur().kind == SqlToken::Kind::Word) {
      ++pos_;
    } else {
      Fail();
    }
    r.end = pos_;
    return r;
  }

  std::string SourceText(TokenRange r) const {
    if (r.empty()) return "";
    return b_.sql.substr(t_[r.begin].offset, t_[r.end - 1].endOffset - t_[r.begin].offset);
  }

  Statement ParseStatement() {
    if (AcceptWord("CREATE")) {
      if (AcceptWord("DATABASE")) return CreateDatabaseStmt{Name()};
      if (AcceptWord("TABLE")) return CreateTable();
      if (AcceptWord("VIEW")) return CreateView();
      Fail();
    }
    if (AcceptWord("DROP")) {
      if (AcceptWord("DATABASE")) {
        DropDatabaseStmt s;
        if (AcceptWord("IF")) { ExpectWord("EXISTS"); s.ifExists = true; }
        do s.names.push_back(Name()); while (AcceptSymbol(","));
        return s;
      }
      DropObjectStmt s;
      if (AcceptWord("VIEW")) s.view = true;
      else ExpectWord("TABLE");
      if (AcceptWord("IF")) { ExpectWord("EXISTS"); s.ifExists = true; }
      do s.names.push_back(QualifiedName()); while (AcceptSymbol(","));
      return s;
    }
    if (AcceptWord("USE")) return UseStmt{Name()};
    if (Cur().IsWord("INSERT")) return Insert();
    if (AcceptWord("UPDATE")) return Update();
    if (Cur().IsWord("SELECT") || Cur().IsSymbol("(")) {
      QueryStmt q;
      q.range = QueryExtent();
      return q;
    }
    if (Cur().IsWord("DELETE")) {
      QueryStmt q;
      q.kind = QueryStmt::Kind::Delete;
      const size_t start = pos_;
      ++pos_;
      AcceptWord("FROM");
      q.table = QualifiedName();
      pos_ = start;
      q.range = QueryExtent();
      return q;
    }
    if (AcceptWord("TRUNCATE")) {
      ExpectWord("TABLE");
      QueryStmt q;
      q.kind = QueryStmt::Kind::Truncate;
      q.table = QualifiedName();
      return q;
    }
    if (AcceptWord("SET")) return Set();
    if (AcceptWord("BEGIN")) {
      if (!AcceptWord("TRANSACTION")) ExpectWord("TRAN");
      if (Cur().IsName() && !AtStatementStart()) ++pos_;  // transaction name
      return TransactionStmt{TransactionStmt::Action::Begin};
    }
    if (Cur().IsWord("COMMIT") || Cur().IsWord("ROLLBACK")) {
      const bool commit = Cur().IsWord("COMMIT");
      ++pos_;
      if (!AcceptWord("TRANSACTION") && !AcceptWord("TRAN")) AcceptWord("WORK");
      if (Cur().IsName() && !AtStatementStart()) ++pos_;
      return TransactionStmt{commit ? TransactionStmt::Action::Commit : TransactionStmt::Action::Rollback};
    }
    if (AcceptWord("EXEC") || AcceptWord("EXECUTE")) return Exec();
    // A batch may start with a bare procedure name: "sp_columns T".
    if (pos_ == 0 && Cur().kind == SqlToken::Kind::Word && !AtStatementStart()) return Exec();
    Fail();
  }

  CreateTableStmt CreateTable() {
    CreateTableStmt s;
    s.name = QualifiedName();
    ExpectSymbol("(");
    std::vector<std::string> tablePk;
    do {
      if (Cur().IsSymbol(")")) break;  // tolerate a trailing comma
      std::string constraintName;
      if (AcceptWord("CONSTRAINT")) constraintName = Name();
      if (AcceptWord("PRIMARY")) {
        ExpectWord("KEY");
        if (!AcceptWord("CLUSTERED")) AcceptWord("NONCLUSTERED");
        if (!tablePk.empty() || !s.pkName.empty()) throw SyntaxError(8110, "Cannot add multiple PRIMARY KEY constraints to table '" + s.name.name + "'.");
        tablePk = NameList(true);
        s.pkName = constraintName.empty() ? "" : constraintName;
        if (constraintName.empty()) s.pkName = "";
        continue;
      }
      if (AcceptWord("UNIQUE")) {
        if (!AcceptWord("CLUSTERED")) AcceptWord("NONCLUSTERED");
        s.uniqueKeys.push_back(NameList(true));
        continue;
      }
      if (AcceptWord("FOREIGN")) {
        ExpectWord("KEY");
        NameList(false);
        References();
        continue;
      }
      if (AcceptWord("CHECK")) {
        SkipParens();
        continue;
      }
      if (!constraintName.empty()) Fail();
      s.columns.push_back(ColumnDefinition(s));
    } while (AcceptSymbol(","));
    ExpectSymbol(")");
    int seq = 0;
    for (const auto& pkCol : tablePk) {
      bool found = false;
      for (auto& c : s.columns) {
        if (strcasecmp(c.name.c_str(), pkCol.c_str()) == 0) {
          c.pkSeq = ++seq;
          c.nullable = false;
          found = true;
        }
      }
      if (!found)
        throw SyntaxError(1911, "Column name '" + pkCol + "' does not exist in the target table or view.");
    }
    int pkColumns = 0;
    for (const auto& c : s.columns) pkColumns += c.pkSeq > 0;
    if (!tablePk.empty() && pkColumns > static_cast<int>(tablePk.size()))
      throw SyntaxError(8110, "Cannot add multiple PRIMARY KEY constraints to table '" + s.name.name + "'.");
    if (s.columns.empty()) Fail();
    return s;
  }

  void References() {
    ExpectWord("REFERENCES");
    QualifiedName();
    if (Cur().IsSymbol("(")) NameList(false);
    while (AcceptWord("ON")) {
      if (!AcceptWord("DELETE")) ExpectWord("UPDATE");
      if (AcceptWord("NO")) ExpectWord("ACTION");
      else if (AcceptWord("SET")) { if (!AcceptWord("NULL")) ExpectWord("DEFAULT"); }
      else ExpectWord("CASCADE");
    }
  }

  ColumnMeta ColumnDefinition(CreateTableStmt& table) {
    ColumnMeta c;
    c.name = Name();
    c.ordinal = static_cast<int>(table.columns.size()) + 1;
    const std::string typeName = Name();
    int argCount = 0;
    long long a1 = 0, a2 = 0;
    bool isMax = false;
    if (AcceptSymbol("(")) {
      if (AcceptWord("MAX")) {
        isMax = true;
      } else {
        a1 = Integer();
        argCount = 1;
        if (AcceptSymbol(",")) { a2 = Integer(); argCount = 2; }
      }
      ExpectSymbol(")");
    }
    std::string error;
    auto type = MakeType(typeName, argCount, a1, a2, isMax, error);
    if (!type) throw SyntaxError(error.rfind("Incorrect", 0) == 0 ? 102 : 2715, error);
    c.type = *type;
    bool explicitNull = false;
    for (;;) {
      std::string constraintName;
      if (AcceptWord("CONSTRAINT")) constraintName = Name();
      if (AcceptWord("IDENTITY")) {
        if (AcceptSymbol("(")) {
          c.identitySeed = Integer();
          ExpectSymbol(",");
          c.identityIncrement = Integer();
          ExpectSymbol(")");
        }
        const bool exact = IsIntegerKind(c.type.kind) ||
                           ((c.type.kind == TypeKind::Decimal || c.type.kind == TypeKind::Numeric) && c.type.scale == 0);
        if (!exact)
          throw SyntaxError(2749, "Identity column '" + c.name +
                                      "' must be of data type int, bigint, smallint, tinyint, or decimal or numeric with a scale of 0, and constrained to be nonnullable.");
        c.identity = true;
        c.nullable = false;
      } else if (AcceptWord("NOT")) {
        ExpectWord("NULL");
        c.nullable = false;
      } else if (AcceptWord("NULL")) {
        explicitNull = true;
      } else if (AcceptWord("PRIMARY")) {
        ExpectWord("KEY");
        if (!AcceptWord("CLUSTERED")) AcceptWord("NONCLUSTERED");
        for (const auto& other : table.columns)
          if (other.pkSeq > 0)
            throw SyntaxError(8110, "Cannot add multiple PRIMARY KEY constraints to table '" + table.name.name + "'.");
        c.pkSeq = 1;
        c.nullable = false;
        if (!constraintName.empty()) table.pkName = constraintName;
      } else if (AcceptWord("UNIQUE")) {
        if (!AcceptWord("CLUSTERED")) AcceptWord("NONCLUSTERED");
        table.uniqueKeys.push_back({c.name});
      } else if (AcceptWord("DEFAULT")) {
        c.defaultText = NormalizeDefault(SourceText(DefaultExtent()));
      } else if (AcceptWord("COLLATE")) {
        const std::string collation = Name();
        const Collation* found = FindCollation(collation);
        if (!found) throw SyntaxError(448, "Invalid collation '" + collation + "'.");
        if (IsCharKind(c.type.kind) || IsNCharKind(c.type.kind)) c.type.collation = found;
      } else if (AcceptWord("ROWGUIDCOL")) {
      } else if (AcceptWord("CHECK")) {
        SkipParens();
      } else if (Cur().IsWord("REFERENCES") || Cur().IsWord("FOREIGN")) {
        if (AcceptWord("FOREIGN")) ExpectWord("KEY");
        References();
      } else {
        if (!constraintName.empty()) Fail();
        break;
      }
    }
    // A timestamp column is NOT NULL unless declared NULL, as on SQL Server.
    if (c.type.kind == TypeKind::Timestamp && !explicitNull) c.nullable = false;
    if (explicitNull && (c.identity || c.pkSeq > 0))
      throw SyntaxError(8147, "Could not create IDENTITY attribute on nullable column '" + c.name + "', table '" +
                                  table.name.name + "'.");
    return c;
  }

  CreateViewStmt CreateView() {
    CreateViewStmt s;
    s.name = QualifiedName();
    if (Cur().IsSymbol("(")) s.columns = NameList(false);
    ExpectWord("AS");
    if (!Cur().IsWord("SELECT") && !Cur().IsSymbol("(")) Fail();
    s.select = QueryExtent();
    return s;
  }

  InsertStmt Insert() {
    ExpectWord("INSERT");
    AcceptWord("INTO");
    InsertStmt s;
    s.table = QualifiedName();
    if (Cur().IsSymbol("(")) s.columns = NameList(false);
    if (AcceptWord("DEFAULT")) {
      ExpectWord("VALUES");
      s.defaultValues = true;
      return s;
    }
    if (Cur().IsWord("SELECT")) {
      s.select = QueryExtent();
      return s;
    }
    ExpectWord("VALUES");
    do {
      ExpectSymbol("(");
      std::vector<TokenRange> row;
      do row.push_back(ExpressionExtent()); while (AcceptSymbol(","));
      ExpectSymbol(")");
      if (!s.rows.empty() && row.size() != s.rows.front().size())
        throw SyntaxError(10709, "The number of columns for each row in a table value constructor must be the same.");
      s.rows.push_back(std::move(row));
    } while (AcceptSymbol(","));
    if (s.rows.size() > 1000)
      throw SyntaxError(10738, "The number of row value expressions in the INSERT statement exceeds the maximum allowed number of 1000 row values.");
    return s;
  }

  UpdateStmt Update() {
    UpdateStmt s;
    s.table = QualifiedName();
    ExpectWord("SET");
    do {
      std::string column = Name();
      while (AcceptSymbol(".")) column = Name();  // t.col
      ExpectSymbol("=");
      TokenRange r{pos_, pos_};
      int depth = 0;
      while (Cur().kind != SqlToken::Kind::End) {
        if (depth == 0 && (Cur().IsSymbol(",") || Cur().IsSymbol(";") || Cur().IsWord("WHERE") ||
                           Cur().IsWord("FROM") || AtStatementStart()))
          break;
        if (Cur().IsSymbol("(")) ++depth;
        if (Cur().IsSymbol(")") && --depth < 0) Fail();
        ++pos_;
      }
      r.end = pos_;
      if (r.empty()) Fail();
      s.assignments.emplace_back(column, r);
    } while (AcceptSymbol(","));
    if (AcceptWord("WHERE")) {
      if (Cur().kind == SqlToken::Kind::End) Fail();
      s.where = QueryExtent();
      if (s.where.empty()) Fail();
    } else if (Cur().IsWord("FROM")) {
      Fail();  // UPDATE ... FROM joins are not supported
    }
    return s;
  }

  SetStmt Set() {
    SetStmt s;
    if (!Cur().IsName()) Fail();
    std::string option = t_[pos_++].text;
    for (auto& ch : option) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    s.option = option;
    if (option == "IDENTITY_INSERT") {
      s.table = QualifiedName();
    }
    if (AcceptWord("ON")) { s.on = true; return s; }
    if (AcceptWord("OFF")) return s;
    // SET TEXTSIZE n, SET TRANSACTION ISOLATION LEVEL ..., SET LANGUAGE x ...:
    // accepted and ignored up to the end of the statement.
    while (Cur().kind != SqlToken::Kind::End && !Cur().IsSymbol(";") && !AtStatementStart()) ++pos_;
    return s;
  }

  ExecStmt Exec() {
    ExecStmt s;
    ObjectName n = QualifiedName();
    s.procedure = n.name;
    if (Cur().kind == SqlToken::Kind::End || Cur().IsSymbol(";") || AtStatementStart()) return s;
    do {
      std::string name;
      if (Cur().kind == SqlToken::Kind::Variable && Peek(1).IsSymbol("=")) {
        name = Cur().text;
        pos_ += 2;
      }
      TokenRange r{pos_, pos_};
      if (Cur().IsSymbol("-")) ++pos_;
      if (Cur().kind == SqlToken::Kind::End) Fail();
      ++pos_;
      r.end = pos_;
      s.args.emplace_back(name, r);
    } while (AcceptSymbol(","));
    return s;
  }

  ParsedBatch& b_;
  const std::vector<SqlToken>& t_;
  size_t pos_ = 0;
};

}  // namespace

std::string NormalizeDefault(const std::string& expression) {
  std::string e = expression;
  // Strip redundant outer parentheses: "((0))" → "0".
  for (;;) {
    size_t a = 0, b = e.size();
    while (a < b && std::isspace(static_cast<unsigned char>(e[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(e[b - 1]))) --b;
    e = e.substr(a, b - a);
    if (e.size() < 2 || e.front() != '(' || e.back() != ')') break;
    int depth = 0;
    bool wraps = true;
    for (size_t i = 0; i < e.size(); ++i) {
      if (e[i] == '(') ++depth;
      if (e[i] == ')' && --depth == 0 && i + 1 < e.size()) { wraps = false; break; }
    }
    if (!wraps) break;
    e = e.substr(1, e.size() - 2);
  }
  const auto lex = Tokenize(e);
  const bool number = lex.ok && ((lex.tokens.size() == 2 && lex.tokens[0].kind == SqlToken::Kind::Number) ||
                                 (lex.tokens.size() == 3 && (lex.tokens[0].IsSymbol("-") || lex.tokens[0].IsSymbol("+")) &&
                                  lex.tokens[1].kind == SqlToken::Kind::Number));
  return number ? "((" + e + "))" : "(" + e + ")";
}

ParsedBatch ParseBatch(std::string sql) {
  ParsedBatch batch;
  batch.sql = std::move(sql);
  LexResult lex = Tokenize(batch.sql);
  if (!lex.ok) {
    batch.ok = false;
    batch.errorNumber = 105;
    batch.error = lex.error;
    return batch;
  }
  batch.tokens = std::move(lex.tokens);
  try {
    Parser(batch).Run();
  } catch (const SyntaxError& e) {
    batch.ok = false;
    batch.errorNumber = e.number;
    batch.error = e.what();
    batch.statements.clear();
  }
  return batch;
}

}  // namespace standin
