#include "tsql/procedure_definition.h"

#include <algorithm>

namespace standin {
namespace {

using Kind = SqlToken::Kind;

class DefinitionReader {
 public:
  DefinitionReader(const std::string& text, std::vector<SqlToken> tokens) : text_(text), t_(std::move(tokens)) {}

  std::optional<ProcedureDefinition> Read() {
    while (!At(Kind::End) && !Cur().IsWord("PROC") && !Cur().IsWord("PROCEDURE")) ++pos_;
    if (At(Kind::End)) return std::nullopt;
    ++pos_;
    ProcedureDefinition d;
    if (!Cur().IsName()) return std::nullopt;
    d.name = t_[pos_++].text;
    while (Cur().IsSymbol(".") && t_[pos_ + 1].IsName()) pos_ += 2;
    if (Cur().IsSymbol(";") && t_[pos_ + 1].kind == Kind::Number) pos_ += 2;  // numbered procedure group
    const bool parenthesised = Accept("(");
    while (At(Kind::Variable)) {
      ProcedureParameter p;
      p.name = t_[pos_++].text;
      AcceptWord("AS");
      const size_t typeStart = pos_;
      if (!Cur().IsName()) return std::nullopt;
      ++pos_;
      while (Cur().IsSymbol(".") && t_[pos_ + 1].IsName()) pos_ += 2;
      if (Cur().IsSymbol("(")) SkipParens();
      p.typeText = Source(typeStart, pos_);
      // The type's schema ("dbo.Name") does not matter to its lookup here.
      if (const size_t dot = p.typeText.rfind('.'); dot != std::string::npos && p.typeText.find('(') == std::string::npos)
        p.typeText = p.typeText.substr(dot + 1);
      AcceptWord("VARYING");
      AcceptWord("NULL");
      if (Accept("=")) {
        const size_t start = pos_;
        if (Cur().IsSymbol("-") || Cur().IsSymbol("+")) ++pos_;
        if (At(Kind::End)) return std::nullopt;
        ++pos_;
        p.defaultValue = {start, pos_};
      }
      for (;;) {
        if (AcceptWord("OUT") || AcceptWord("OUTPUT")) p.output = true;
        else if (!AcceptWord("READONLY")) break;
      }
      d.parameters.push_back(p);
      if (!Accept(",")) break;
    }
    if (parenthesised && !Accept(")")) return std::nullopt;
    if (AcceptWord("WITH")) {
      // RECOMPILE, ENCRYPTION, EXECUTE AS CALLER|SELF|OWNER|'user' ...
      do {
        if ((Cur().IsWord("EXECUTE") || Cur().IsWord("EXEC")) && t_[pos_ + 1].IsWord("AS")) pos_ += 3;
        else if (!At(Kind::End)) ++pos_;
      } while (Accept(","));
    }
    if (AcceptWord("FOR")) AcceptWord("REPLICATION");
    if (!AcceptWord("AS")) return std::nullopt;
    d.body = At(Kind::End) ? std::string() : text_.substr(t_[pos_].offset);
    d.tokens = std::move(t_);
    return d;
  }

 private:
  const SqlToken& Cur() const { return t_[std::min(pos_, t_.size() - 1)]; }
  bool At(Kind k) const { return Cur().kind == k; }
  bool Accept(const char* symbol) {
    if (!Cur().IsSymbol(symbol)) return false;
    ++pos_;
    return true;
  }
  bool AcceptWord(const char* word) {
    if (!Cur().IsWord(word)) return false;
    ++pos_;
    return true;
  }
  void SkipParens() {
    int depth = 0;
    do {
      if (Cur().IsSymbol("(")) ++depth;
      if (Cur().IsSymbol(")")) --depth;
      ++pos_;
    } while (depth > 0 && !At(Kind::End));
  }
  std::string Source(size_t begin, size_t end) const {
    return text_.substr(t_[begin].offset, t_[end - 1].endOffset - t_[begin].offset);
  }

  const std::string& text_;
  std::vector<SqlToken> t_;
  size_t pos_ = 0;
};

}  // namespace

std::optional<ProcedureDefinition> ParseProcedureDefinition(const std::string& text) {
  LexResult lex = Tokenize(text);
  if (!lex.ok) return std::nullopt;
  return DefinitionReader(text, std::move(lex.tokens)).Read();
}

}  // namespace standin
