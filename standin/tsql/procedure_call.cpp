#include "tsql/procedure_call.h"

#include <strings.h>

#include <algorithm>
#include <map>
#include <utility>

#include "catalog/schema_metadata.h"
#include "catalog/schema_names.h"
#include "protocol/column_encoder.h"
#include "tsql/statement_context.h"
#include "types/value_conversion.h"

namespace standin {
namespace {

constexpr int kMaxNesting = 32;

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

[[noreturn]] void CallError(int number, uint8_t state, uint8_t severity, std::string text, const std::string& procedure) {
  ServerMessage m;
  m.number = number;
  m.state = state;
  m.severity = severity;
  m.text = std::move(text);
  m.procedure = procedure;
  m.line = 0;
  throw SqlError{m};
}

SqlType DeclaredType(SessionState& session, const ProcedureParameter& p) {
  std::string error;
  std::optional<SqlType> type;
  if (const auto alias = FindAliasType(session.db().handle(), p.typeText)) type = ParseTypeDeclaration(alias->baseDeclaration, error);
  else type = ParseTypeDeclaration(p.typeText, error);
  if (!type) ThrowSqlError(2715, "Column, parameter, or variable " + p.name + ": Cannot find data type " + p.typeText + ".", 3);
  return *type;
}

// Text longer than a parameter's declared length is cut to it without an
// error, as SQL Server assigns to parameters and variables.
Value CutToLength(Value v, const SqlType& t) {
  if (t.IsMax() || t.length <= 0) return v;
  if (v.kind == Value::Kind::String && (IsCharKind(t.kind) || IsNCharKind(t.kind)) && t.kind != TypeKind::Text &&
      t.kind != TypeKind::NText) {
    size_t at = 0;
    for (int chars = 0; at < v.text.size() && chars < t.length; ++chars) {
      ++at;
      while (at < v.text.size() && (static_cast<unsigned char>(v.text[at]) & 0xC0) == 0x80) ++at;  // UTF-8 continuation
    }
    v.text.resize(at);
  } else if (v.kind == Value::Kind::Binary && IsBinaryKind(t.kind) && t.kind != TypeKind::Image &&
             v.bytes.size() > static_cast<size_t>(t.length)) {
    v.bytes.resize(static_cast<size_t>(t.length));
  }
  return v;
}

// A value as a variable of type `t` holds it (SQL Server converts on assignment).
Value Converted(const Value& given, const SqlType& t) {
  if (given.kind == Value::Kind::Null || given.kind == Value::Kind::Default) return Value::Null();
  const Value v = CutToLength(given, t);
  ConversionError error;
  const auto stored = ConvertToColumn(v, t, error);
  if (!stored) ThrowSqlError(error.number, error.text);
  switch (stored->kind) {
    case StoredValue::Kind::Null: return Value::Null();
    case StoredValue::Kind::Integer: return Value::Int(stored->integer);
    case StoredValue::Kind::Real: {
      Value r;
      r.kind = Value::Kind::Float;
      r.real = stored->real;
      return r;
    }
    case StoredValue::Kind::Text: {
      if (t.kind == TypeKind::Decimal || t.kind == TypeKind::Numeric) {
        Value d;
        d.kind = Value::Kind::Decimal;
        d.text = stored->text;
        return d;
      }
      return Value::Str(stored->text, IsNCharKind(t.kind));
    }
    case StoredValue::Kind::Blob: {
      Value b;
      b.kind = Value::Kind::Binary;
      b.bytes = stored->blob;
      return b;
    }
  }
  return Value::Null();
}

// Swaps the session's variables for the procedure's and keeps count of the
// nesting, both undone however the body ends; SET options the body changes
// return to the caller's values, as on SQL Server.
class ProcedureScope {
 public:
  ProcedureScope(SessionState& session, std::map<std::string, Value>& variables, const std::string& name)
      : session_(session), variables_(variables), caller_(session.currentProcedure), nocount_(session.nocount),
        implicitTransactions_(session.implicitTransactions), lockTimeoutMs_(session.lockTimeoutMs) {
    std::swap(session_.variables, variables_);
    ++session_.procedureNesting;
    session_.currentProcedure = name;
  }
  ~ProcedureScope() {
    std::swap(session_.variables, variables_);
    --session_.procedureNesting;
    session_.currentProcedure = caller_;
    session_.nocount = nocount_;
    session_.implicitTransactions = implicitTransactions_;
    session_.lockTimeoutMs = lockTimeoutMs_;
  }
  ProcedureScope(const ProcedureScope&) = delete;
  ProcedureScope& operator=(const ProcedureScope&) = delete;

 private:
  SessionState& session_;
  std::map<std::string, Value>& variables_;
  const std::string caller_;
  const bool nocount_;
  const bool implicitTransactions_;
  const int64_t lockTimeoutMs_;
};

}  // namespace

std::optional<ProcedureDefinition> FindProcedure(SessionState& session, const std::string& name) {
  std::optional<ModuleMeta> found;
  if (name.size() > 1 && name[0] == '#') {
    const auto it = session.tempProcedures.find(Lower(name));
    if (it != session.tempProcedures.end()) found = ModuleMeta{name, "P", "", it->second};
  } else if (session.hasDatabase()) {
    for (auto& m : Modules(session.db().handle()))
      if (m.kind == "P" && strcasecmp(m.name.c_str(), name.c_str()) == 0) found = std::move(m);
  }
  if (!found) return std::nullopt;
  auto definition = ParseProcedureDefinition(found->definition);
  if (!definition) ThrowSqlError(50000, "The definition of procedure '" + name + "' could not be read.");
  definition->name = found->name;  // as stored: the schema and the name
  return definition;
}

ProcedureRun CallProcedure(SessionState& session, ReplyWriter& w, const ProcedureDefinition& procedure,
                           const std::vector<ProcedureArgument>& arguments) {
  const std::string shown = BareName(procedure.name);
  if (procedure.name[0] != '#') {
    const AccessRights& rights = session.db().rights();
    if (!rights.unrestricted && !rights.Has("EXECUTE", procedure.name))
      CallError(229, 5, 14,
                "The EXECUTE permission was denied on the object '" + shown + "', database '" + session.db().name() +
                    "', schema '" + SchemaOf(procedure.name) + "'.",
                "");
  }
  if (session.procedureNesting >= kMaxNesting)
    CallError(217, 1, 16, "Maximum stored procedure, function, trigger, or view nesting level exceeded (limit 32).", "");

  // Which argument each parameter receives: by position first, then by name.
  const auto& params = procedure.parameters;
  std::vector<std::optional<size_t>> given(params.size());
  bool named = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const ProcedureArgument& a = arguments[i];
    if (a.name.empty()) {
      if (named)
        CallError(119, 1, 15,
                  "Must pass parameter number " + std::to_string(i + 1) +
                      " and subsequent parameters as '@name = value'. After the form '@name = value' has been used, all "
                      "subsequent parameters must be passed in the form '@name = value'.",
                  shown);
      if (i >= params.size()) CallError(8144, 2, 16, "Procedure or function " + shown + " has too many arguments specified.", shown);
      given[i] = i;
      continue;
    }
    named = true;
    size_t k = 0;
    while (k < params.size() && strcasecmp(params[k].name.c_str(), a.name.c_str()) != 0) ++k;
    if (k == params.size()) CallError(8145, 2, 16, a.name + " is not a parameter for procedure " + shown + ".", shown);
    given[k] = i;
  }

  ParsedBatch none;
  StatementContext ctx(session, w, none, true);
  std::map<std::string, Value> variables;
  std::vector<SqlType> types;
  for (size_t k = 0; k < params.size(); ++k) {
    const ProcedureParameter& p = params[k];
    types.push_back(DeclaredType(session, p));
    const ProcedureArgument* a = given[k] ? &arguments[*given[k]] : nullptr;
    if (a && a->output && !p.output)
      CallError(8162, 2, 16,
                "The formal parameter \"" + p.name +
                    "\" was not declared as an OUTPUT parameter, but the actual parameter passed in requested output.",
                shown);
    Value v;
    if (a && a->value.kind != Value::Kind::Default) v = a->value;
    else if (!p.defaultValue.empty()) v = ctx.Evaluate(procedure.tokens, p.defaultValue);
    else
      CallError(201, 4, 16, "Procedure or function '" + shown + "' expects parameter '" + p.name + "', which was not supplied.",
                shown);
    variables[Lower(p.name)] = Converted(v, types[k]);
  }

  ProcedureRun run;
  {
    ProcedureScope scope(session, variables, shown);
    BatchExecutor body(session, w, true);
    run.outcome = body.Run(procedure.body);
    run.aborted = body.aborted();
    run.status = body.returnStatus().value_or(0);
    if (run.outcome == BatchOutcome::Cancelled || run.aborted) return run;
    for (size_t k = 0; k < params.size(); ++k) {
      if (!params[k].output || !given[k] || !arguments[*given[k]].output) continue;
      const auto it = session.variables.find(Lower(params[k].name));
      run.outputs.push_back({*given[k], params[k].name, types[k],
                             it == session.variables.end() ? Value::Null() : Converted(it->second, types[k])});
    }
  }
  std::sort(run.outputs.begin(), run.outputs.end(),
            [](const ProcedureOutput& a, const ProcedureOutput& b) { return a.argument < b.argument; });
  return run;
}

std::vector<ProcedureOutput> StatementOutputs(SessionState& session, const std::string& definitions,
                                              const std::vector<std::pair<size_t, std::string>>& marked) {
  std::vector<ProcedureOutput> outputs;
  if (marked.empty()) return outputs;
  // The definitions read as a procedure's parameter list.
  const auto declared = ParseProcedureDefinition("CREATE PROCEDURE p " + definitions + " AS");
  if (!declared) return outputs;
  for (const auto& [ordinal, name] : marked) {
    for (const auto& p : declared->parameters) {
      if (Lower(p.name) != name) continue;
      const SqlType type = DeclaredType(session, p);
      const auto it = session.variables.find(name);
      outputs.push_back({ordinal, p.name, type, it == session.variables.end() ? Value::Null() : Converted(it->second, type)});
    }
  }
  return outputs;
}

void WriteProcedureOutput(ReplyWriter& w, const ProcedureOutput& output) {
  ResultColumn column;
  column.name = output.name;
  column.type = output.type;
  StoredValue stored;
  if (output.value.kind != Value::Kind::Null) {
    ConversionError error;
    if (auto converted = ConvertToColumn(output.value, output.type, error)) stored = std::move(*converted);
  }
  Cell cell;
  switch (stored.kind) {
    case StoredValue::Kind::Null: break;
    case StoredValue::Kind::Integer: cell = Cell::Int(stored.integer); break;
    case StoredValue::Kind::Real: cell.kind = Cell::Kind::Real; cell.real = stored.real; break;
    case StoredValue::Kind::Text: cell = Cell::Text(stored.text); break;
    case StoredValue::Kind::Blob:
      cell.kind = Cell::Kind::Blob;
      cell.data = stored.blob.data();
      cell.size = stored.blob.size();
      break;
  }
  WriteReturnValue(w, static_cast<uint16_t>(output.argument), output.name, column, cell);
}

}  // namespace standin
