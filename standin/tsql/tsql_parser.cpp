#include "tsql/tsql_parser.h"

#include "catalog/schema_names.h"
#include "types/collation.h"

#include <strings.h>

#include <cctype>
#include <cstdlib>
#include <set>
#include <stdexcept>

namespace standin {
namespace {

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

struct SyntaxError : std::runtime_error {
  SyntaxError(int number, const std::string& text) : std::runtime_error(text), number(number) {}
  int number;
};

// Words that begin a statement; a query ends before one of them at nesting depth 0.
const char* const kStatementStarts[] = {"SELECT", "INSERT", "UPDATE", "DELETE", "CREATE", "DROP", "USE",
                                        "SET", "BEGIN", "COMMIT", "ROLLBACK", "EXEC", "EXECUTE", "PRINT",
                                        "DECLARE", "IF", "TRUNCATE", "ALTER", "GO", "SAVE", "RETURN",
                                        "WHILE", "RAISERROR", "CHECKPOINT", "BREAK", "CONTINUE", "DBCC",
                                        "GRANT", "DENY", "REVOKE", "BULK"};

class Parser {
 public:
  explicit Parser(ParsedBatch& batch) : b_(batch), t_(batch.tokens) {}

  void Run() {
    while (!Peek().kind_is_end()) {
      if (Peek().IsSymbol(";")) { ++pos_; continue; }
      if (Peek().IsWord("GO")) { ++pos_; continue; }
      ParseItem();
    }
    if (!loops_.empty()) Fail();
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
    if (parts.size() >= 2) n.schema = parts[parts.size() - 2];
    n.name = StoredName(n.schema, parts.back());
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
    int depth = 0, cases = 0;
    bool first = true;
    while (Cur().kind != SqlToken::Kind::End) {
      if (depth == 0 && Cur().IsSymbol(";")) break;
      if (Cur().IsWord("CASE")) ++cases;
      if (Cur().IsWord("END") && cases > 0) {
        --cases;
      } else if (depth == 0 && cases == 0 && !first && AtBlockEnd()) {
        break;  // the END or ELSE of an enclosing block or IF
      }
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

  struct Loop {
    size_t head = 0;
    std::vector<size_t> breaks;  // GotoStmt indexes to patch with the loop's end
  };

  size_t Emit(Statement s) {
    b_.statements.push_back(std::move(s));
    return b_.statements.size() - 1;
  }
  size_t Here() const { return b_.statements.size(); }

  // END or ELSE closing the enclosing block or IF (not a CASE's).
  bool AtBlockEnd() const { return Cur().IsWord("END") || Cur().IsWord("ELSE"); }

  // An IF or WHILE condition: up to the statement it governs.
  TokenRange ConditionExtent() {
    TokenRange r{pos_, pos_};
    int depth = 0;
    bool first = true;
    while (Cur().kind != SqlToken::Kind::End) {
      if (depth == 0 && !first && (AtStatementStart() || Cur().IsSymbol(";"))) break;
      if (Cur().IsSymbol("(")) ++depth;
      if (Cur().IsSymbol(")") && --depth < 0) Fail();
      first = false;
      ++pos_;
    }
    r.end = pos_;
    if (r.empty() || depth != 0) Fail();
    return r;
  }

  // One statement, block or control structure, appended to the batch's statements.
  void ParseItem() {
    while (AcceptSymbol(";")) {
    }
    if (Cur().kind == SqlToken::Kind::End) Fail();
    if (AcceptWord("IF")) {
      const size_t at = Emit(IfStmt{ConditionExtent(), 0});
      ParseItem();
      while (AcceptSymbol(";")) {
      }
      if (AcceptWord("ELSE")) {
        const size_t skip = Emit(GotoStmt{});
        std::get<IfStmt>(b_.statements[at]).falseTarget = Here();
        ParseItem();
        std::get<GotoStmt>(b_.statements[skip]).target = Here();
      } else {
        std::get<IfStmt>(b_.statements[at]).falseTarget = Here();
      }
      return;
    }
    if (AcceptWord("WHILE")) {
      Loop loop;
      loop.head = Here();
      const size_t at = Emit(IfStmt{ConditionExtent(), 0});
      loops_.push_back(loop);
      ParseItem();
      Emit(GotoStmt{loop.head});
      std::get<IfStmt>(b_.statements[at]).falseTarget = Here();
      for (size_t b : loops_.back().breaks) std::get<GotoStmt>(b_.statements[b]).target = Here();
      loops_.pop_back();
      return;
    }
    if (Cur().IsWord("BREAK") || Cur().IsWord("CONTINUE")) {
      if (loops_.empty()) Fail();
      const bool isBreak = Cur().IsWord("BREAK");
      ++pos_;
      const size_t at = Emit(GotoStmt{loops_.back().head});
      if (isBreak) loops_.back().breaks.push_back(at);
      return;
    }
    if (Cur().IsWord("BEGIN") && (Peek(1).IsWord("TRY") || Peek(1).IsWord("CATCH"))) {
      // TRY runs as a plain block; the CATCH block only runs after an error, which ends the batch here.
      const bool isTry = Peek(1).IsWord("TRY");
      pos_ += 2;
      const size_t skip = isTry ? 0 : Emit(GotoStmt{});
      while (!(Cur().IsWord("END") && (Peek(1).IsWord("TRY") || Peek(1).IsWord("CATCH")))) {
        if (Cur().kind == SqlToken::Kind::End) Fail();
        ParseItem();
        while (AcceptSymbol(";")) {
        }
      }
      pos_ += 2;
      if (!isTry) std::get<GotoStmt>(b_.statements[skip]).target = Here();
      return;
    }
    if (Cur().IsWord("BEGIN") && !Peek(1).IsWord("TRAN") && !Peek(1).IsWord("TRANSACTION") &&
        !Peek(1).IsWord("DISTRIBUTED")) {
      ++pos_;
      for (;;) {
        while (AcceptSymbol(";")) {
        }
        if (AcceptWord("END")) break;
        if (Cur().kind == SqlToken::Kind::End) Fail();
        ParseItem();
      }
      return;
    }
    Emit(ParseStatement());
  }

  DeclareStmt Declare() {
    DeclareStmt s;
    do {
      if (Cur().kind != SqlToken::Kind::Variable) Fail();
      DeclareStmt::Variable v;
      v.name = Lower(t_[pos_++].text);
      AcceptWord("AS");
      if (Cur().IsWord("TABLE") || Cur().IsWord("CURSOR")) Fail();  // table variables and cursors: not supported
      Name();
      while (AcceptSymbol(".")) Name();
      if (Cur().IsSymbol("(")) SkipParens();
      if (AcceptSymbol("=")) v.initial = AssignedExtent(true);
      s.variables.push_back(v);
    } while (AcceptSymbol(","));
    return s;
  }

  // The right side of SET @v = ... / SELECT @v = ...: up to ',' (SELECT only), FROM or the next statement.
  TokenRange AssignedExtent(bool inSelect) {
    TokenRange r{pos_, pos_};
    int depth = 0, cases = 0;
    while (Cur().kind != SqlToken::Kind::End) {
      if (depth == 0 && cases == 0) {
        if (Cur().IsSymbol(";") || AtStatementStart() || AtBlockEnd()) break;
        if (inSelect && (Cur().IsSymbol(",") || Cur().IsWord("FROM") || Cur().IsWord("WHERE") || Cur().IsWord("ORDER") ||
                         Cur().IsWord("GROUP")))
          break;
      }
      if (Cur().IsWord("CASE")) ++cases;
      if (Cur().IsWord("END") && cases > 0) --cases;
      if (Cur().IsSymbol("(")) ++depth;
      if (Cur().IsSymbol(")") && --depth < 0) Fail();
      ++pos_;
    }
    r.end = pos_;
    if (r.empty()) Fail();
    return r;
  }

  AssignStmt SelectAssign() {
    AssignStmt s;
    do {
      if (Cur().kind != SqlToken::Kind::Variable || !Peek(1).IsSymbol("=")) Fail();
      const std::string name = Lower(t_[pos_].text);
      pos_ += 2;
      s.assignments.emplace_back(name, AssignedExtent(true));
    } while (AcceptSymbol(","));
    if (Cur().IsWord("FROM")) s.rest = QueryExtent();
    return s;
  }

  // The rest of the batch: a module's text runs to the end of its batch.
  std::string RestOfBatch(size_t start) {
    while (Cur().kind != SqlToken::Kind::End) ++pos_;
    return SourceText(TokenRange{start, pos_});
  }

  CreateModuleStmt Module(size_t start, bool replace, bool mustExist) {
    CreateModuleStmt s;
    s.replace = replace;
    s.mustExist = mustExist;
    if (AcceptWord("PROC") || AcceptWord("PROCEDURE")) {
      s.kind = "P";
    } else if (AcceptWord("TRIGGER")) {
      s.kind = "TR";
    } else if (AcceptWord("FUNCTION")) {
      s.kind = "FN";
    } else {
      Fail();
    }
    s.name = QualifiedName();
    if (s.kind == "TR") {
      ExpectWord("ON");
      // A DDL trigger belongs to the database (or the server), not to a table.
      if (AcceptWord("DATABASE")) s.parent = "DATABASE";
      else if (Cur().IsWord("ALL") && Peek(1).IsWord("SERVER")) pos_ += 2, s.parent = "ALL SERVER";
      else s.parent = QualifiedName().name;
    }
    if (s.kind == "FN") {
      // RETURNS TABLE: inline table function; RETURNS @t TABLE: multi-statement.
      for (size_t i = pos_; t_[i].kind != SqlToken::Kind::End; ++i) {
        if (!t_[i].IsWord("RETURNS")) continue;
        if (t_[i + 1].IsWord("TABLE")) s.kind = "IF";
        else if (t_[i + 1].kind == SqlToken::Kind::Variable) s.kind = "TF";
        break;
      }
    }
    s.text = RestOfBatch(start);
    return s;
  }

  DropModuleStmt DropModule(const char* kind) {
    DropModuleStmt s;
    s.kind = kind;
    if (AcceptWord("IF")) { ExpectWord("EXISTS"); s.ifExists = true; }
    do s.names.push_back(QualifiedName()); while (AcceptSymbol(","));
    if (s.kind == "TR" && AcceptWord("ON")) {  // DROP TRIGGER t ON DATABASE / ALL SERVER
      if (!AcceptWord("DATABASE")) { ExpectWord("ALL"); ExpectWord("SERVER"); }
    }
    return s;
  }

  // CREATE/DROP FULLTEXT CATALOG|INDEX ...: its lists hold words (KEY INDEX, ON,
  // WITH) that end nothing, so it runs to ';', the end or the next statement.
  void SkipFullTextStatement() {
    int depth = 0;
    while (Cur().kind != SqlToken::Kind::End) {
      if (depth == 0 && (Cur().IsSymbol(";") || (AtStatementStart() && !Cur().IsWord("SET")) || AtBlockEnd())) break;
      if (Cur().IsSymbol("(")) ++depth;
      if (Cur().IsSymbol(")")) --depth;
      ++pos_;
    }
  }

  // Skips to the end of a statement that is accepted and ignored.
  void SkipStatement() {
    int depth = 0;
    while (Cur().kind != SqlToken::Kind::End) {
      if (depth == 0 && (Cur().IsSymbol(";") || AtStatementStart() || AtBlockEnd())) break;
      if (Cur().IsSymbol("(")) ++depth;
      if (Cur().IsSymbol(")")) --depth;
      ++pos_;
    }
  }

  Statement ParseStatement() {
    const size_t start = pos_;
    if (Cur().IsWord("CREATE") && (Peek(1).IsWord("LOGIN") || Peek(1).IsWord("USER") || Peek(1).IsWord("ROLE")))
      return CreatePrincipal();
    if (AcceptWord("CREATE")) {
      if (Cur().IsWord("OR") && Peek(1).IsWord("ALTER")) {
        pos_ += 2;
        return Module(start, true, false);
      }
      if (Cur().IsWord("PROC") || Cur().IsWord("PROCEDURE") || Cur().IsWord("TRIGGER") || Cur().IsWord("FUNCTION"))
        return Module(start, false, false);
      if (AcceptWord("TYPE")) {
        CreateTypeStmt t;
        ObjectName n = QualifiedName();
        t.name = n.name;
        ExpectWord("FROM");
        const size_t typeStart = pos_;
        Name();
        if (Cur().IsSymbol("(")) SkipParens();
        t.base = SourceText(TokenRange{typeStart, pos_});
        if (AcceptWord("NOT")) { ExpectWord("NULL"); t.nullable = false; }
        else AcceptWord("NULL");
        return t;
      }
      if (AcceptWord("SCHEMA")) {
        CreateSchemaStmt c{Name(), {}};
        if (AcceptWord("AUTHORIZATION")) c.owner = Name();
        return c;
      }
      if (AcceptWord("DATABASE")) {
        CreateDatabaseStmt d{Name(), {}};
        // Files and options: the stand-in has its own storage. The collation is kept.
        if (Cur().IsWord("ON") || Cur().IsWord("LOG") || Cur().IsWord("COLLATE") || Cur().IsWord("WITH") ||
            Cur().IsWord("CONTAINMENT")) {
          const size_t start = pos_;
          SkipStatement();
          for (size_t i = start; i + 1 < pos_; ++i)
            if (t_[i].IsWord("COLLATE") && t_[i + 1].IsName()) d.collation = t_[i + 1].text;
        }
        return d;
      }
      if (AcceptWord("STATISTICS")) {
        SkipStatement();
        return NoOpStmt{};
      }
      if (AcceptWord("FULLTEXT")) {
        // Full-text catalogs and indexes: accepted; CONTAINS/FREETEXT are not offered.
        if (!AcceptWord("CATALOG")) ExpectWord("INDEX");
        SkipFullTextStatement();
        return NoOpStmt{};
      }
      if (Cur().IsWord("XML") && Peek(1).IsWord("SCHEMA")) {
        pos_ += 2;
        ExpectWord("COLLECTION");
        CreateXmlSchemaCollectionStmt x;
        x.name = QualifiedName();
        ExpectWord("AS");
        x.definition = AssignedExtent(false);
        return x;
      }
      if (AcceptWord("TABLE")) return CreateTable();
      if (AcceptWord("VIEW")) return CreateView();
      const bool unique = AcceptWord("UNIQUE");
      const int clustered = ClusterOption();
      if (AcceptWord("INDEX")) return CreateIndex(unique, clustered);
      Fail();
    }
    if (AcceptWord("DROP")) {
      if (Cur().IsWord("LOGIN") || Cur().IsWord("USER") || Cur().IsWord("ROLE")) return DropPrincipal();
      if (AcceptWord("DATABASE")) {
        DropDatabaseStmt s;
        if (AcceptWord("IF")) { ExpectWord("EXISTS"); s.ifExists = true; }
        do s.names.push_back(Name()); while (AcceptSymbol(","));
        return s;
      }
      if (AcceptWord("SCHEMA")) {
        DropSchemaStmt d;
        if (AcceptWord("IF")) { ExpectWord("EXISTS"); d.ifExists = true; }
        d.name = Name();
        return d;
      }
      if (AcceptWord("INDEX")) return DropIndex();
      if (AcceptWord("FULLTEXT")) {
        if (!AcceptWord("CATALOG")) ExpectWord("INDEX");
        SkipFullTextStatement();
        return NoOpStmt{};
      }
      if (AcceptWord("PROC") || AcceptWord("PROCEDURE")) return DropModule("P");
      if (AcceptWord("TRIGGER")) return DropModule("TR");
      if (AcceptWord("FUNCTION")) return DropModule("FN");
      if (AcceptWord("TYPE")) {
        DropTypeStmt t;
        if (AcceptWord("IF")) { ExpectWord("EXISTS"); t.ifExists = true; }
        t.name = QualifiedName().name;
        return t;
      }
      DropObjectStmt s;
      if (AcceptWord("VIEW")) s.view = true;
      else ExpectWord("TABLE");
      if (AcceptWord("IF")) { ExpectWord("EXISTS"); s.ifExists = true; }
      do s.names.push_back(QualifiedName()); while (AcceptSymbol(","));
      return s;
    }
    if (AcceptWord("USE")) return UseStmt{Name()};
    if (Cur().IsWord("ALTER") && (Peek(1).IsWord("DATABASE") || Peek(1).IsWord("AUTHORIZATION"))) {
      pos_ += 2;
      SkipStatement();  // database options: nothing to change here
      return NoOpStmt{};
    }
    if (Cur().IsWord("GRANT") || Cur().IsWord("DENY") || Cur().IsWord("REVOKE")) return Permission();
    if (Cur().IsWord("ALTER") && Peek(1).IsWord("LOGIN")) return AlterLogin();
    if (Cur().IsWord("ALTER") && Peek(1).IsWord("ROLE")) {
      pos_ += 2;
      SecurityStmt r;
      r.name = Name();
      if (AcceptWord("ADD")) r.kind = SecurityStmt::Kind::AddMember;
      else if (AcceptWord("DROP")) r.kind = SecurityStmt::Kind::DropMember;
      else Fail();
      ExpectWord("MEMBER");
      r.member = Name();
      return r;
    }
    if (AcceptWord("ALTER")) {
      if (Cur().IsWord("PROC") || Cur().IsWord("PROCEDURE") || Cur().IsWord("TRIGGER") || Cur().IsWord("FUNCTION"))
        return Module(start, true, true);
      ExpectWord("TABLE");
      return AlterTable();
    }
    if (AcceptWord("DECLARE")) return Declare();
    if (AcceptWord("PRINT")) return PrintStmt{AssignedExtent(false)};
    if (AcceptWord("RAISERROR")) {
      RaiserrorStmt r;
      ExpectSymbol("(");
      do r.args.push_back(ExpressionExtent()); while (AcceptSymbol(","));
      ExpectSymbol(")");
      if (AcceptWord("WITH")) {
        do {
          if (!AcceptWord("NOWAIT") && !AcceptWord("LOG")) ExpectWord("SETERROR");
        } while (AcceptSymbol(","));
      }
      return r;
    }
    if (AcceptWord("CHECKPOINT") || AcceptWord("DBCC")) {
      SkipStatement();
      return NoOpStmt{};
    }
    if (Cur().IsWord("UPDATE") && Peek(1).IsWord("STATISTICS")) {
      pos_ += 2;
      SkipStatement();
      return NoOpStmt{};
    }
    if (AcceptWord("RETURN")) {
      ReturnStmt r;
      if (!AtStatementStart() && !AtBlockEnd() && Cur().kind != SqlToken::Kind::End && !Cur().IsSymbol(";"))
        r.value = AssignedExtent(false);  // a return value
      return r;
    }
    if (Cur().IsWord("SELECT") && Peek(1).tok.kind == SqlToken::Kind::Variable && Peek(2).IsSymbol("=")) {
      ++pos_;
      return SelectAssign();
    }
    if (Cur().IsWord("INSERT")) return Insert();
    if (AcceptWord("BULK")) return BulkInsert();
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

  // GRANT / DENY / REVOKE [GRANT OPTION FOR] permission [, ...] [ON [class::]securable] TO|FROM principal [, ...]
  //   [WITH GRANT OPTION] [CASCADE] [AS principal]
  SecurityStmt Permission() {
    SecurityStmt p;
    p.kind = AcceptWord("GRANT") ? SecurityStmt::Kind::Grant
             : AcceptWord("DENY") ? SecurityStmt::Kind::Deny
                                  : (ExpectWord("REVOKE"), SecurityStmt::Kind::Revoke);
    if (Cur().IsWord("GRANT") && Peek(1).IsWord("OPTION")) {
      pos_ += 2;
      ExpectWord("FOR");
    }
    do {
      std::string permission;
      while (Cur().kind == SqlToken::Kind::Word && !Cur().IsWord("ON") && !Cur().IsWord("TO") &&
             !Cur().IsWord("FROM")) {
        std::string word = t_[pos_++].text;
        for (auto& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        permission += (permission.empty() ? "" : " ") + word;
      }
      if (permission.empty()) Fail();
      if (Cur().IsSymbol("(")) SkipParens();  // a column list
      p.permissions.push_back(permission);
    } while (AcceptSymbol(","));
    if (AcceptWord("ON")) {
      if (Cur().IsName() && Peek(1).IsSymbol(":") && Peek(2).IsSymbol(":")) {
        p.targetClass = t_[pos_].text;
        for (auto& c : p.targetClass) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        pos_ += 3;
      }
      if (p.targetClass == "SCHEMA" || p.targetClass == "DATABASE") p.target.schema = Name();
      else p.target = QualifiedName();
    }
    if (!AcceptWord("TO")) ExpectWord("FROM");
    do p.principals.push_back(Name()); while (AcceptSymbol(","));
    if (Cur().IsWord("WITH") && Peek(1).IsWord("GRANT")) {
      pos_ += 2;
      ExpectWord("OPTION");
    }
    AcceptWord("CASCADE");
    if (AcceptWord("AS")) Name();
    return p;
  }

  // CREATE LOGIN name WITH PASSWORD = 'x' [, option = value ...] | FROM WINDOWS ...;
  // CREATE USER name [FOR|FROM LOGIN login | WITHOUT LOGIN] [WITH DEFAULT_SCHEMA = s];
  // CREATE ROLE name [AUTHORIZATION owner].
  SecurityStmt CreatePrincipal() {
    ++pos_;
    SecurityStmt c;
    if (AcceptWord("LOGIN")) {
      c.kind = SecurityStmt::Kind::CreateLogin;
      c.name = Name();
      if (AcceptWord("WITH") && AcceptWord("PASSWORD")) {
        ExpectSymbol("=");
        if (Cur().kind != SqlToken::Kind::String) Fail();
        c.password = t_[pos_++].text;
      }
      SkipStatement();  // CHECK_POLICY = OFF, DEFAULT_DATABASE = x, FROM WINDOWS ...
      return c;
    }
    if (AcceptWord("USER")) {
      c.kind = SecurityStmt::Kind::CreateUser;
      c.name = Name();
      if (AcceptWord("FOR") || AcceptWord("FROM")) {
        ExpectWord("LOGIN");
        c.login = Name();
      } else if (AcceptWord("WITHOUT")) {
        ExpectWord("LOGIN");
        c.withoutLogin = true;
      } else {
        c.login = c.name;  // a user named as its login
      }
      SkipStatement();  // WITH DEFAULT_SCHEMA = ...
      return c;
    }
    ExpectWord("ROLE");
    c.kind = SecurityStmt::Kind::CreateRole;
    c.name = Name();
    if (AcceptWord("AUTHORIZATION")) Name();
    return c;
  }

  // DROP LOGIN|USER|ROLE [IF EXISTS] name (after DROP).
  SecurityStmt DropPrincipal() {
    SecurityStmt d;
    d.kind = AcceptWord("LOGIN") ? SecurityStmt::Kind::DropLogin
             : AcceptWord("USER") ? SecurityStmt::Kind::DropUser
                                  : (ExpectWord("ROLE"), SecurityStmt::Kind::DropRole);
    if (AcceptWord("IF")) { ExpectWord("EXISTS"); d.ifExists = true; }
    d.name = Name();
    return d;
  }

  // ALTER LOGIN name ENABLE | DISABLE | WITH PASSWORD = 'x' [OLD_PASSWORD = 'y'] [, option = value ...].
  SecurityStmt AlterLogin() {
    pos_ += 2;
    SecurityStmt a;
    a.kind = SecurityStmt::Kind::AlterLogin;
    a.name = Name();
    if (AcceptWord("ENABLE")) a.enable = 1;
    else if (AcceptWord("DISABLE")) a.enable = 0;
    else {
      ExpectWord("WITH");
      if (AcceptWord("PASSWORD")) {
        ExpectSymbol("=");
        if (Cur().kind != SqlToken::Kind::String) Fail();
        a.password = t_[pos_++].text;
        a.newPassword = true;
      }
      const size_t options = pos_;
      SkipStatement();  // OLD_PASSWORD, CHECK_POLICY, DEFAULT_DATABASE ...: nothing to keep
      for (size_t i = options; i + 1 < pos_; ++i)  // refused rather than ignored
        if (t_[i].IsWord("NAME") && t_[i + 1].IsSymbol("="))
          throw SyntaxError(50000, "Renaming the login '" + a.name + "' with ALTER LOGIN is not supported by this server.");
    }
    return a;
  }

  int ClusterOption() {
    if (AcceptWord("CLUSTERED")) return 1;
    if (AcceptWord("NONCLUSTERED")) return 0;
    return -1;
  }

  std::vector<KeyColumn> KeyColumns(bool allowOrder) {
    std::vector<KeyColumn> columns;
    ExpectSymbol("(");
    do {
      KeyColumn k;
      k.name = Name();
      if (allowOrder) {
        if (AcceptWord("DESC")) k.descending = true;
        else AcceptWord("ASC");
      }
      columns.push_back(std::move(k));
    } while (AcceptSymbol(","));
    ExpectSymbol(")");
    return columns;
  }

  // Storage details SQL Server scripts carry: WITH (PAD_INDEX = OFF, ...),
  // WITH FILLFACTOR = n, ON [PRIMARY], ON scheme(col), TEXTIMAGE_ON x. Accepted and ignored.
  void SkipStorageOptions() {
    for (;;) {
      if (Cur().IsWord("WITH") && Peek(1).IsSymbol("(")) {
        ++pos_;
        SkipParens();
        continue;
      }
      if (Cur().IsWord("WITH") && (Peek(1).IsWord("FILLFACTOR") || Peek(1).IsWord("PAD_INDEX")) && Peek(2).IsSymbol("=")) {
        pos_ += 4;
        continue;
      }
      if (Cur().IsWord("ON") && Peek(1).tok.IsName() && !Peek(1).IsWord("DELETE") && !Peek(1).IsWord("UPDATE")) {
        pos_ += 2;
        if (Cur().IsSymbol("(")) SkipParens();
        continue;
      }
      if (AcceptWord("TEXTIMAGE_ON") || AcceptWord("FILESTREAM_ON")) {
        Name();
        continue;
      }
      return;
    }
  }

  void SkipNotForReplication() {
    if (Cur().IsWord("NOT") && Peek(1).IsWord("FOR")) {
      pos_ += 2;
      ExpectWord("REPLICATION");
    }
  }

  ReferentialAction Action() {
    if (AcceptWord("NO")) { ExpectWord("ACTION"); return ReferentialAction::NoAction; }
    if (AcceptWord("CASCADE")) return ReferentialAction::Cascade;
    ExpectWord("SET");
    if (AcceptWord("NULL")) return ReferentialAction::SetNull;
    ExpectWord("DEFAULT");
    return ReferentialAction::SetDefault;
  }

  void References(ConstraintDef& c) {
    ExpectWord("REFERENCES");
    c.referenced = QualifiedName();
    if (Cur().IsSymbol("(")) {
      for (auto& k : KeyColumns(false)) c.referencedColumns.push_back(k.name);
    }
    for (;;) {
      if (Cur().IsWord("ON") && Peek(1).IsWord("DELETE")) {
        pos_ += 2;
        c.onDelete = Action();
      } else if (Cur().IsWord("ON") && Peek(1).IsWord("UPDATE")) {
        pos_ += 2;
        c.onUpdate = Action();
      } else if (Cur().IsWord("NOT") && Peek(1).IsWord("FOR")) {
        SkipNotForReplication();
      } else {
        break;
      }
    }
  }

  std::string CheckExpression() {
    SkipNotForReplication();
    const size_t start = pos_;
    SkipParens();
    return SourceText(TokenRange{start, pos_});
  }

  bool AtTableConstraint() const {
    return Cur().IsWord("CONSTRAINT") || Cur().IsWord("PRIMARY") || Cur().IsWord("UNIQUE") ||
           Cur().IsWord("FOREIGN") || Cur().IsWord("CHECK") || Cur().IsWord("DEFAULT");
  }

  // A table-level constraint (CREATE TABLE or ALTER TABLE ... ADD).
  ConstraintDef TableConstraint() {
    ConstraintDef c;
    if (AcceptWord("CONSTRAINT")) c.name = Name();
    if (AcceptWord("PRIMARY")) {
      ExpectWord("KEY");
      c.kind = ConstraintDef::Kind::PrimaryKey;
      c.clustered = ClusterOption();
      c.columns = KeyColumns(true);
      SkipStorageOptions();
    } else if (AcceptWord("UNIQUE")) {
      c.kind = ConstraintDef::Kind::Unique;
      c.clustered = ClusterOption();
      c.columns = KeyColumns(true);
      SkipStorageOptions();
    } else if (AcceptWord("FOREIGN")) {
      ExpectWord("KEY");
      c.kind = ConstraintDef::Kind::ForeignKey;
      c.columns = KeyColumns(false);
      References(c);
    } else if (AcceptWord("CHECK")) {
      c.kind = ConstraintDef::Kind::Check;
      c.expression = CheckExpression();
    } else if (AcceptWord("DEFAULT")) {
      c.kind = ConstraintDef::Kind::Default;
      c.expression = NormalizeDefault(SourceText(DefaultExtent()));
      ExpectWord("FOR");
      c.columns.push_back({Name(), false});
      if (AcceptWord("WITH")) ExpectWord("VALUES");
    } else {
      Fail();
    }
    return c;
  }

  // WITH (SYSTEM_VERSIONING = ON [(HISTORY_TABLE = name [, DATA_CONSISTENCY_CHECK = ON])], ...):
  // other options inside WITH (...) are skipped like storage options.
  void SystemVersioning(CreateTableStmt& s) {
    if (!Cur().IsWord("WITH") || !Peek(1).IsSymbol("(")) return;
    size_t i = pos_ + 2;
    int depth = 1;
    auto at = [&](size_t k) -> const SqlToken& { return t_[std::min(k, t_.size() - 1)]; };
    for (; t_[i].kind != SqlToken::Kind::End && depth > 0; ++i) {
      if (t_[i].IsSymbol("(")) ++depth;
      if (t_[i].IsSymbol(")")) --depth;
      if (t_[i].IsWord("SYSTEM_VERSIONING") && at(i + 1).IsSymbol("=") && at(i + 2).IsWord("ON")) s.systemVersioned = true;
      if (t_[i].IsWord("HISTORY_TABLE") && at(i + 1).IsSymbol("=")) {
        const size_t save = pos_;
        pos_ = i + 2;
        s.historyTable = QualifiedName();
        i = pos_ - 1;
        pos_ = save;
      }
    }
    if (!s.systemVersioned) return;
    pos_ = i;
  }

  CreateTableStmt CreateTable() {
    CreateTableStmt s;
    s.name = QualifiedName();
    ExpectSymbol("(");
    std::set<std::string> explicitNull;
    do {
      if (Cur().IsSymbol(")")) break;  // tolerate a trailing comma
      if (Cur().IsWord("PERIOD") && Peek(1).IsWord("FOR")) {
        pos_ += 2;
        ExpectWord("SYSTEM_TIME");
        NameList(false);  // the two GENERATED ALWAYS columns, which mark themselves
        continue;
      }
      if (AtTableConstraint()) {
        s.constraints.push_back(TableConstraint());
        continue;
      }
      bool declaredNull = false;
      s.columns.push_back(ColumnDefinition(s.name.name, s.columns.size(), s.constraints, declaredNull));
      if (declaredNull) explicitNull.insert(Lower(s.columns.back().name));
    } while (AcceptSymbol(","));
    ExpectSymbol(")");
    SystemVersioning(s);
    SkipStorageOptions();
    if (s.columns.empty()) Fail();
    const ConstraintDef* pk = nullptr;
    for (const auto& c : s.constraints) {
      if (c.kind != ConstraintDef::Kind::PrimaryKey) continue;
      if (pk) throw SyntaxError(8110, "Cannot add multiple PRIMARY KEY constraints to table '" + s.name.name + "'.");
      pk = &c;
    }
    if (pk) {
      int seq = 0;
      for (const auto& key : pk->columns) {
        ColumnMeta* column = nullptr;
        for (auto& c : s.columns)
          if (strcasecmp(c.name.c_str(), key.name.c_str()) == 0) column = &c;
        if (!column)
          throw SyntaxError(1911, "Column name '" + key.name + "' does not exist in the target table or view.");
        if (explicitNull.count(Lower(column->name)))
          throw SyntaxError(8111, "Cannot define PRIMARY KEY constraint on nullable column in table '" + s.name.name + "'.");
        column->pkSeq = ++seq;
        column->nullable = false;
      }
      s.pkName = pk->name;
    }
    return s;
  }

  // A column: name, type, then its attributes and constraints in any order.
  ColumnMeta ColumnDefinition(const std::string& table, size_t index, std::vector<ConstraintDef>& constraints,
                              bool& explicitNull) {
    ColumnMeta c;
    c.name = Name();
    c.ordinal = static_cast<int>(index) + 1;
    if (AcceptWord("AS")) return ComputedColumn(std::move(c), constraints);
    std::string typeName = Name();
    if (AcceptSymbol(".")) {  // [Sales].[AliasType], sys.int
      const std::string schema = typeName;
      typeName = Name();
      if (strcasecmp(schema.c_str(), "sys") != 0) typeName = StoredName(schema, typeName);
    }
    int argCount = 0;
    long long a1 = 0, a2 = 0;
    bool isMax = false;
    if (strcasecmp(typeName.c_str(), "xml") == 0 && Cur().IsSymbol("(")) {
      // Typed xml: the values are kept as xml; the schema collection is not validated against.
      ++pos_;
      if (!AcceptWord("CONTENT")) AcceptWord("DOCUMENT");
      c.xmlSchemaCollection = QualifiedName().name;
      ExpectSymbol(")");
    } else if (AcceptSymbol("(")) {
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
    if (type) {
      c.type = *type;
    } else if (argCount == 0 && !isMax && error.find("Cannot find data type") != std::string::npos) {
      c.userType = typeName;  // an alias type, resolved when the statement runs
    } else {
      throw SyntaxError(error.rfind("Incorrect", 0) == 0 ? 102 : 2715, error);
    }
    explicitNull = false;
    bool explicitNotNull = false;
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
        SkipNotForReplication();
        const bool exact = !c.userType.empty() || IsIntegerKind(c.type.kind) ||
                           ((c.type.kind == TypeKind::Decimal || c.type.kind == TypeKind::Numeric) && c.type.scale == 0);
        if (!exact)
          throw SyntaxError(2749, "Identity column '" + c.name +
                                      "' must be of data type int, bigint, smallint, tinyint, or decimal or numeric with a scale of 0, and constrained to be nonnullable.");
        c.identity = true;
        c.nullable = false;
      } else if (AcceptWord("NOT")) {
        ExpectWord("NULL");
        c.nullable = false;
        explicitNotNull = true;
      } else if (AcceptWord("NULL")) {
        explicitNull = true;
      } else if (AcceptWord("PRIMARY")) {
        ExpectWord("KEY");
        ConstraintDef k;
        k.kind = ConstraintDef::Kind::PrimaryKey;
        k.name = constraintName;
        k.clustered = ClusterOption();
        k.columns.push_back({c.name, false});
        SkipStorageOptions();
        constraints.push_back(std::move(k));
      } else if (AcceptWord("UNIQUE")) {
        ConstraintDef k;
        k.kind = ConstraintDef::Kind::Unique;
        k.name = constraintName;
        k.clustered = ClusterOption();
        k.columns.push_back({c.name, false});
        SkipStorageOptions();
        constraints.push_back(std::move(k));
      } else if (AcceptWord("DEFAULT")) {
        c.defaultText = NormalizeDefault(SourceText(DefaultExtent()));
        if (Cur().IsWord("WITH") && Peek(1).IsWord("VALUES")) pos_ += 2;
        ConstraintDef d;
        d.kind = ConstraintDef::Kind::Default;
        d.name = constraintName;
        d.columns.push_back({c.name, false});
        d.expression = c.defaultText;
        constraints.push_back(std::move(d));
      } else if (AcceptWord("COLLATE")) {
        const std::string collation = Name();
        const Collation* found = FindCollation(collation);
        if (!found) throw SyntaxError(448, "Invalid collation '" + collation + "'.");
        if (IsCharKind(c.type.kind) || IsNCharKind(c.type.kind)) c.type.collation = found;
      } else if (AcceptWord("GENERATED")) {
        // GENERATED ALWAYS AS ROW START|END [HIDDEN]: a system-versioned table's period column.
        ExpectWord("ALWAYS");
        ExpectWord("AS");
        ExpectWord("ROW");
        if (AcceptWord("START")) c.generated = "ROW START";
        else ExpectWord("END"), c.generated = "ROW END";
        if (AcceptWord("HIDDEN")) c.hidden = true;
      } else if (AcceptWord("ROWGUIDCOL") || AcceptWord("SPARSE")) {
      } else if (AcceptWord("CHECK")) {
        ConstraintDef k;
        k.kind = ConstraintDef::Kind::Check;
        k.name = constraintName;
        k.columns.push_back({c.name, false});
        k.expression = CheckExpression();
        constraints.push_back(std::move(k));
      } else if (Cur().IsWord("REFERENCES") || Cur().IsWord("FOREIGN")) {
        if (AcceptWord("FOREIGN")) ExpectWord("KEY");
        ConstraintDef k;
        k.kind = ConstraintDef::Kind::ForeignKey;
        k.name = constraintName;
        k.columns.push_back({c.name, false});
        References(k);
        constraints.push_back(std::move(k));
      } else {
        if (!constraintName.empty()) Fail();
        break;
      }
    }
    // A timestamp column is NOT NULL unless declared NULL, as on SQL Server.
    if (c.type.kind == TypeKind::Timestamp && c.userType.empty() && !explicitNull) c.nullable = false;
    if (explicitNull && c.identity)
      throw SyntaxError(8147, "Could not create IDENTITY attribute on nullable column '" + c.name + "', table '" +
                                  table + "'.");
    if (!explicitNull && !explicitNotNull && !c.userType.empty()) c.nullable = true;  // the alias type may decide
    c.nullabilityGiven = explicitNull || explicitNotNull || c.identity;
    return c;
  }

  // name AS expression [PERSISTED [NOT NULL]] [constraints]: its type comes
  // from the expression when the table is created.
  ColumnMeta ComputedColumn(ColumnMeta c, std::vector<ConstraintDef>& constraints) {
    const size_t start = pos_;
    int depth = 0;
    while (Cur().kind != SqlToken::Kind::End) {
      if (depth == 0 && (Cur().IsSymbol(",") || Cur().IsSymbol(")") || Cur().IsWord("PERSISTED") ||
                         Cur().IsWord("CONSTRAINT") || Cur().IsWord("PRIMARY") || Cur().IsWord("UNIQUE") ||
                         (Cur().IsWord("NOT") && Peek(1).IsWord("NULL"))))
        break;
      if (Cur().IsSymbol("(")) ++depth;
      if (Cur().IsSymbol(")")) --depth;
      ++pos_;
    }
    if (pos_ == start) Fail();
    c.computed = SourceText(TokenRange{start, pos_});
    c.type = SqlType{TypeKind::Int, 0, 0, 0};
    if (AcceptWord("PERSISTED")) c.persisted = true;
    if (AcceptWord("NOT")) {
      ExpectWord("NULL");
      c.nullable = false;
    }
    for (;;) {
      std::string constraintName;
      if (AcceptWord("CONSTRAINT")) constraintName = Name();
      ConstraintDef k;
      k.name = constraintName;
      if (AcceptWord("PRIMARY")) {
        ExpectWord("KEY");
        k.kind = ConstraintDef::Kind::PrimaryKey;
      } else if (AcceptWord("UNIQUE")) {
        k.kind = ConstraintDef::Kind::Unique;
      } else {
        if (!constraintName.empty()) Fail();
        break;
      }
      k.clustered = ClusterOption();
      k.columns.push_back({c.name, false});
      SkipStorageOptions();
      constraints.push_back(std::move(k));
    }
    return c;
  }

  CreateIndexStmt CreateIndex(bool unique, int clustered) {
    CreateIndexStmt s;
    s.unique = unique;
    s.clustered = clustered;
    s.name = Name();
    ExpectWord("ON");
    s.table = QualifiedName();
    s.columns = KeyColumns(true);
    if (AcceptWord("INCLUDE")) SkipParens();
    if (AcceptWord("WHERE")) s.filter = IndexFilterPredicate();
    SkipStorageOptions();
    return s;
  }

  // A filtered index's predicate: comparisons of a column with a constant,
  // IS [NOT] NULL and IN (constants), joined by AND, as SQL Server allows them.
  IndexFilter IndexFilterPredicate() {
    IndexFilter filter;
    int open = 0;
    do {
      while (AcceptSymbol("(")) ++open;
      FilterTerm t;
      t.column = Name();
      if (AcceptWord("IS")) {
        t.op = AcceptWord("NOT") ? "IS NOT NULL" : "IS NULL";
        ExpectWord("NULL");
      } else if (AcceptWord("IN")) {
        t.op = "IN";
        ExpectSymbol("(");
        do t.values.push_back(FilterConstantValue()); while (AcceptSymbol(","));
        ExpectSymbol(")");
      } else {
        static const std::pair<const char*, const char*> kOps[] = {
            {"=", "="}, {"<>", "<>"}, {"!=", "<>"}, {"<", "<"}, {"<=", "<="}, {">", ">"}, {">=", ">="}, {"!<", ">="}, {"!>", "<="}};
        for (const auto& [written, op] : kOps)
          if (t.op.empty() && AcceptSymbol(written)) t.op = op;
        if (t.op.empty()) Fail();
        t.values.push_back(FilterConstantValue());
      }
      filter.push_back(std::move(t));
      while (open > 0 && AcceptSymbol(")")) --open;
    } while (AcceptWord("AND"));
    // OR and NOT have no place in a filter; SQL Server names the keyword.
    for (const char* keyword : {"OR", "NOT"})
      if (Cur().IsWord(keyword)) throw SyntaxError(156, std::string("Incorrect syntax near the keyword '") + keyword + "'.");
    if (open != 0) Fail();
    return filter;
  }

  FilterConstant FilterConstantValue() {
    FilterConstant v;
    std::string sign;
    if (Cur().IsSymbol("-") || Cur().IsSymbol("+")) sign = t_[pos_++].text == "-" ? "-" : "";
    if (Cur().kind == SqlToken::Kind::Number) {
      v.text = sign + t_[pos_++].text;
    } else if (sign.empty() && Cur().kind == SqlToken::Kind::String) {
      v.kind = FilterConstant::Kind::String;
      v.national = Cur().national;
      v.text = t_[pos_++].text;
    } else {
      Fail();
    }
    return v;
  }

  DropIndexStmt DropIndex() {
    DropIndexStmt s;
    if (AcceptWord("IF")) { ExpectWord("EXISTS"); s.ifExists = true; }
    do {
      // "DROP INDEX t.ix" (old form) or "DROP INDEX ix ON t".
      std::vector<std::string> parts{Name()};
      while (AcceptSymbol(".")) parts.push_back(Name());
      ObjectName table;
      std::string index;
      if (AcceptWord("ON")) {
        if (parts.size() != 1) Fail();
        index = parts[0];
        table = QualifiedName();
      } else {
        if (parts.size() < 2) Fail();
        index = parts.back();
        table.name = parts[parts.size() - 2];
      }
      SkipStorageOptions();
      s.indexes.emplace_back(table, index);
    } while (AcceptSymbol(","));
    return s;
  }

  AlterTableStmt AlterTable() {
    AlterTableStmt s;
    s.table = QualifiedName();
    if (AcceptWord("WITH")) {
      if (AcceptWord("NOCHECK")) s.noCheck = true;
      else ExpectWord("CHECK"), s.withCheck = true;
    }
    if (AcceptWord("ADD")) {
      do {
        if (AtTableConstraint()) {
          s.constraints.push_back(TableConstraint());
        } else {
          bool declaredNull = false;
          s.columns.push_back(ColumnDefinition(s.table.name, s.columns.size(), s.constraints, declaredNull));
        }
      } while (AcceptSymbol(","));
      s.action = s.columns.empty() ? AlterTableStmt::Action::AddConstraints : AlterTableStmt::Action::AddColumns;
      for (const auto& c : s.columns)  // refused rather than added as a plain column
        if (!c.computed.empty() || !c.generated.empty())
          throw SyntaxError(50000, "Adding the computed or period column '" + c.name +
                                       "' to an existing table is not supported by this server; declare it in CREATE TABLE.");
      return s;
    }
    if (Cur().IsWord("CHECK") || Cur().IsWord("NOCHECK")) {
      s.action = AlterTableStmt::Action::CheckConstraints;
      s.noCheck = Cur().IsWord("NOCHECK");
      ++pos_;
      ExpectWord("CONSTRAINT");
      if (AcceptWord("ALL")) s.all = true;
      else do s.names.push_back(Name()); while (AcceptSymbol(","));
      return s;
    }
    if (AcceptWord("DROP")) {
      if (AcceptWord("COLUMN")) {
        s.action = AlterTableStmt::Action::DropColumns;
      } else {
        AcceptWord("CONSTRAINT");
        s.action = AlterTableStmt::Action::DropConstraints;
      }
      if (AcceptWord("IF")) { ExpectWord("EXISTS"); s.ifExists = true; }
      do s.names.push_back(Name()); while (AcceptSymbol(","));
      return s;
    }
    if (AcceptWord("ALTER")) {
      ExpectWord("COLUMN");
      s.action = AlterTableStmt::Action::AlterColumn;
      std::vector<ConstraintDef> ignored;
      bool declaredNull = false;
      s.columns.push_back(ColumnDefinition(s.table.name, 0, ignored, declaredNull));
      return s;
    }
    Fail();
  }
  CreateViewStmt CreateView() {
    CreateViewStmt s;
    s.name = QualifiedName();
    if (Cur().IsSymbol("(")) s.columns = NameList(false);
    if (AcceptWord("WITH")) {  // SCHEMABINDING, VIEW_METADATA, ENCRYPTION: nothing to keep
      do {
        if (!AcceptWord("SCHEMABINDING") && !AcceptWord("VIEW_METADATA")) ExpectWord("ENCRYPTION");
      } while (AcceptSymbol(","));
    }
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

  // BULK INSERT t FROM 'file' [WITH (NAME [= value], ...)]; ORDER (...) keeps its text.
  BulkInsertStmt BulkInsert() {
    ExpectWord("INSERT");
    BulkInsertStmt s;
    s.table = QualifiedName();
    ExpectWord("FROM");
    if (Cur().kind != SqlToken::Kind::String) Fail();
    s.file = t_[pos_++].text;
    if (!AcceptWord("WITH")) return s;
    ExpectSymbol("(");
    do {
      if (!Cur().IsName()) Fail();
      std::string option = t_[pos_++].text;
      for (auto& ch : option) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      std::string value;
      if (AcceptSymbol("=")) {
        if (Cur().kind != SqlToken::Kind::String && Cur().kind != SqlToken::Kind::Number && !Cur().IsName()) Fail();
        value = t_[pos_++].text;
      } else if (Cur().IsSymbol("(")) {
        const size_t start = pos_;
        SkipParens();
        value = SourceText(TokenRange{start, pos_});
      }
      s.options.emplace_back(std::move(option), std::move(value));
    } while (AcceptSymbol(","));
    ExpectSymbol(")");
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
      int depth = 0, cases = 0;
      while (Cur().kind != SqlToken::Kind::End) {
        if (Cur().IsWord("CASE")) ++cases;
        if (Cur().IsWord("END") && cases > 0) {
          --cases;
          ++pos_;
          continue;
        }
        if (depth == 0 && cases == 0 &&
            (Cur().IsSymbol(",") || Cur().IsSymbol(";") || Cur().IsWord("WHERE") || Cur().IsWord("FROM") ||
             AtStatementStart() || AtBlockEnd()))
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

  Statement Set() {
    if (Cur().kind == SqlToken::Kind::Variable) {
      AssignStmt a;
      const std::string name = Lower(t_[pos_++].text);
      // SET @v = x, and the compound forms SET @v += x ...
      if (!AcceptSymbol("=")) Fail();
      a.assignments.emplace_back(name, AssignedExtent(false));
      return a;
    }
    SetStmt s;
    if (!Cur().IsName()) Fail();
    std::string option = t_[pos_++].text;
    for (auto& ch : option) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    s.option = option;
    if (option == "IDENTITY_INSERT") {
      s.table = QualifiedName();
    }
    if (option == "LOCK_TIMEOUT") {
      s.number = Integer();
      return s;
    }
    if (AcceptWord("ON")) { s.on = true; return s; }
    if (AcceptWord("OFF")) return s;
    // SET TEXTSIZE n, SET TRANSACTION ISOLATION LEVEL ..., SET LANGUAGE x ...:
    // accepted and ignored up to the end of the statement.
    while (Cur().kind != SqlToken::Kind::End && !Cur().IsSymbol(";") && !AtStatementStart() && !AtBlockEnd()) ++pos_;
    return s;
  }

  ExecStmt Exec() {
    ExecStmt s;
    if (Cur().IsSymbol("(")) {  // EXEC ('dynamic SQL')
      ++pos_;
      s.dynamic = ExpressionExtent();
      ExpectSymbol(")");
      return s;
    }
    if (Cur().kind == SqlToken::Kind::Variable && Peek(1).IsSymbol("=")) {  // EXEC @rc = p
      s.returnVariable = Lower(Cur().text);
      pos_ += 2;
    }
    ObjectName n = QualifiedName();
    s.database = n.database;
    s.procedure = strcasecmp(n.schema.c_str(), "sys") == 0 ? BareName(n.name) : n.name;
    if (Cur().kind == SqlToken::Kind::End || Cur().IsSymbol(";") || AtStatementStart() || AtBlockEnd()) return s;
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
      s.outputArgs.push_back(AcceptWord("OUTPUT") || AcceptWord("OUT"));
    } while (AcceptSymbol(","));
    return s;
  }

  ParsedBatch& b_;
  const std::vector<SqlToken>& t_;
  size_t pos_ = 0;
  std::vector<Loop> loops_;
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
