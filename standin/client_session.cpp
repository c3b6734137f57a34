#include "client_session.h"

#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <regex>

#include "tsql/batch_executor.h"
#include "tsql/procedure_call.h"
#include "catalog/catalog_procedures.h"
#include "catalog/active_logins.h"
#include "catalog/principals.h"
#include "catalog/schema_names.h"
#include "protocol/encryption_choice.h"
#include "protocol/rpc_request.h"
#include "session_state.h"
#include "tsql/statement_context.h"
#include "tsql/statement_handlers.h"
#include "protocol/tds_io.h"
#include "protocol/tds_login.h"
#include "protocol/tds_tokens.h"
#include "protocol/tls_session.h"
#include "types/text_encoding.h"

namespace standin {
namespace {

// SQL Server answers each client in the version it asked for (up to 7.4).
uint32_t AgreedTdsVersion(uint32_t requested) {
  if (requested >= 0x74000000) return kTds74;
  if (requested >= 0x730B0000) return kTds73;
  if (requested >= 0x73000000) return 0x730A0003;
  if (requested >= 0x72000000) return kTds72;
  return kTds71;  // 7.0 and 7.1 clients are answered as 7.1
}

ServerMessage Message(int number, uint8_t state, uint8_t severity, std::string text, std::string proc = "") {
  ServerMessage m;
  m.number = number;
  m.state = state;
  m.severity = severity;
  m.text = std::move(text);
  m.procedure = std::move(proc);
  return m;
}

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// "[db].[schema].p" → {"db", "schema", "p"}: the parts of an RPC's procedure name.
std::vector<std::string> ProcedureNameParts(const std::string& full) {
  std::vector<std::string> parts(1);
  bool bracket = false;
  for (char c : full) {
    if (c == '[' && !bracket) { bracket = true; continue; }
    if (c == ']' && bracket) { bracket = false; continue; }
    if (c == '.' && !bracket) { parts.emplace_back(); continue; }
    parts.back() += c;
  }
  return parts;
}

// "[db]..sp_columns", "sys.sp_tables" → ("db", "sp_columns").
std::pair<std::string, std::string> SplitProcedureName(const std::string& full) {
  const std::vector<std::string> parts = ProcedureNameParts(full);
  return {parts.size() >= 3 ? parts.front() : "", parts.back()};
}

// Parameter names declared in "@P1 int, @P2 nvarchar(10)".
std::vector<std::string> DeclaredNames(const std::string& defs) {
  std::vector<std::string> names;
  int depth = 0;
  bool expectName = true;
  std::string current;
  for (size_t i = 0; i <= defs.size(); ++i) {
    const char c = i < defs.size() ? defs[i] : ',';
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (c == ',' && depth == 0) {
      if (!current.empty()) names.push_back(Lower(current));
      current.clear();
      expectName = true;
      continue;
    }
    if (expectName) {
      if (c == '@' || (!current.empty() && (std::isalnum(static_cast<unsigned char>(c)) || c == '_'))) current += c;
      else if (!current.empty()) expectName = false;
    }
  }
  return names;
}

// "[db].[schema].p" → the stored name of the procedure p of that schema.
std::string StoredProcedureName(const std::string& full) {
  const std::vector<std::string> parts = ProcedureNameParts(full);
  return StoredName(parts.size() >= 2 ? parts[parts.size() - 2] : std::string(), parts.back());
}

class ClientSession {
 public:
  ClientSession(int fd, uint16_t spid, const ServerContext& server)
      : socket_(fd), spid_(spid), server_(server), w_(socket_, spid, 4096), state_(server.directory, spid) {
    state_.cancelRequested = [this] { return w_.PollAttention(); };
  }

  void Run() {
    ClientMessage m;
    while (socket_.ReadMessage(m)) {
      if (!loggedIn_) {
        if (m.type == kPrelogin) {
          Prelogin(m.payload);
          continue;
        }
        if (m.type != kLogin7) throw ProtocolError("request before login");
        if (server_.options.forceEncryption && !tls_) {
          throw ProtocolError("the server forces encryption and the client sent its login in the clear");
        }
        // Login-only encryption ends with the LOGIN7 message.
        if (loginOnlyEncryption_) socket_.UseTls(nullptr);
        if (!Login(m.payload)) return;
        continue;
      }
      switch (m.type) {
        case kSqlBatch: Batch(m.payload); break;
        case kRpc: Rpc(m.payload); break;
        case kTransactionManager: TransactionManager(m.payload); break;
        case kAttention:
          WriteDone(w_, kTokDone, kDoneAttention, kCmdNone, 0);
          w_.EndMessage();
          w_.ClearAttention();
          break;
        default: throw ProtocolError("unexpected packet type");
      }
      // A cancel that arrived during a reply and was not answered inside it.
      if (w_.attention()) {
        w_.ClearAttention();
        WriteDone(w_, kTokDone, kDoneAttention, kCmdNone, 0);
        w_.EndMessage();
      }
    }
  }

 private:
  // Answers the ENCRYPTION option; when encrypting, runs the TLS handshake
  // carried in further PRELOGIN packets and switches the socket to TLS.
  void Prelogin(const std::vector<uint8_t>& payload) {
    if (tls_) throw ProtocolError("a second PRELOGIN");
    const EncryptionChoice choice = ChooseEncryption(
        ClientEncryption(payload), server_.tls != nullptr, server_.options.forceEncryption);
    w_.Bytes(PreloginReply(choice.answer));
    w_.EndMessage();
    if (choice.refuse) throw ProtocolError("the server forces encryption and the client cannot encrypt");
    if (choice.mode == EncryptionMode::None) return;
    tls_ = std::make_unique<TlsSession>(*server_.tls);
    ClientMessage m;
    try {
      while (!tls_->HandshakeDone()) {
        if (!socket_.ReadMessage(m)) throw ConnectionLost("client left during the TLS handshake");
        if (m.type != kPrelogin) throw ProtocolError("TLS handshake expected in PRELOGIN packets");
        const std::vector<uint8_t> answer = tls_->Handshake(m.payload);
        if (!answer.empty()) SendMessage(socket_, kPrelogin, answer);
      }
    } catch (const std::runtime_error& e) {
      if (dynamic_cast<const ConnectionLost*>(&e)) throw;
      throw ProtocolError(e.what());
    }
    socket_.UseTls(tls_.get());
    loginOnlyEncryption_ = choice.mode == EncryptionMode::LoginOnly;
  }

  bool Login(const std::vector<uint8_t>& payload) {
    const Login7 login = ParseLogin7(payload);
    w_.SetTdsVersion(AgreedTdsVersion(login.tdsVersion));  // the reply already speaks it
    auto refuse = [&](std::vector<ServerMessage> messages) {
      for (const auto& m : messages) WriteMessage(w_, m);
      WriteDone(w_, kTokDone, kDoneError, kCmdNone, 0);
      w_.EndMessage();
      return false;
    };
    std::vector<uint8_t> sspiReply;
    std::string user = login.userName;
    if (login.integratedSecurity || (!login.sspi.empty() && login.userName.empty())) {
      if (!server_.integrated.enabled())
        return refuse({Message(18452, 1, 14,
                               "Login failed. The login is from an untrusted domain and cannot be used with Integrated authentication.")});
      const auto outcome = server_.integrated.Verify(login.sspi);
      if (!outcome.ok) {
        std::fprintf(stderr, "sqlstandin: integrated logon refused: %s\n", outcome.error.c_str());
        return refuse({Message(18452, 1, 14,
                               "Login failed. The login is from an untrusted domain and cannot be used with Integrated authentication.")});
      }
      user = outcome.principal;
      sspiReply = outcome.reply;
    } else {
      const auto it = server_.options.logins.find(Lower(login.userName));
      const bool given = it != server_.options.logins.end() && it->second == login.password;
      // A login made with CREATE LOGIN: its rights come from the database's users.
      const bool stored = !given && it == server_.options.logins.end() &&
                          StoredLoginMatches(server_.directory, login.userName, login.password);
      if (!given && !stored)
        return refuse({Message(18456, 1, 14, "Login failed for user '" + login.userName + "'.")});
      if (stored && StoredLoginDisabled(server_.directory, login.userName))
        return refuse({Message(18470, 1, 14,
                               "Login failed for user '" + login.userName + "'. Reason: The account is disabled.")});
      state_.sysadmin = given;
    }
    state_.login = user;
    const std::string database = login.database.empty() ? "master" : login.database;
    bool opened = false;
    try {
      opened = state_.OpenDatabase(database);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "sqlstandin: cannot open database %s: %s\n", database.c_str(), e.what());
    }
    if (!opened)
      return refuse({Message(4060, 1, 11, "Cannot open database \"" + database + "\" requested by the login. The login failed."),
                     Message(18456, 1, 14, "Login failed for user '" + user + "'.")});

    const size_t packetSize = login.packetSize >= 512 && login.packetSize <= 32767 ? login.packetSize : 4096;
    if (!sspiReply.empty()) WriteSspi(w_, sspiReply);
    WriteEnvChange(w_, 1, state_.db().name(), "master");
    WriteMessage(w_, Message(5701, 2, 0, "Changed database context to '" + state_.db().name() + "'."));
    WriteEnvChangeBytes(w_, 7, state_.db().collation().wireBytes(), {});
    WriteEnvChange(w_, 2, "us_english", "");
    WriteMessage(w_, Message(5703, 1, 0, "Changed language setting to us_english."));
    WriteLoginAck(w_, w_.tdsVersion());
    WriteEnvChange(w_, 4, std::to_string(packetSize), "4096");
    WriteDone(w_, kTokDone, kDoneFinal, kCmdNone, 0);
    w_.EndMessage();
    w_.SetPacketSize(packetSize);
    loggedIn_ = true;
    activeLogin_.Set(user);
    return true;
  }

  void Batch(const std::vector<uint8_t>& payload) {
    const size_t at = AllHeadersLength(payload, w_.tdsVersion());
    if ((payload.size() - at) % 2 != 0) throw ProtocolError("odd-length SQL text");
    const std::string sql = FromUtf16(payload.data() + at, payload.size() - at);
    state_.variables.clear();
    state_.RefreshRights();
    std::string rest = sql;
    const bool ended = DriverTransactionBatch(sql, rest);
    if (!ended || rest.find_first_not_of(" \t\r\n;") != std::string::npos) BatchExecutor(state_, w_, false).Run(rest);
    w_.EndMessage();
    if (w_.attention()) w_.ClearAttention();  // the batch acknowledged it, or it came too late to matter
  }

  // Before TDS 7.2 there are no transaction-manager requests: drivers end a
  // transaction with "IF @@TRANCOUNT > 0 COMMIT|ROLLBACK [TRAN] [BEGIN TRANSACTION]",
  // maybe followed by more statements. Answers that part as SQL Server would and
  // leaves the rest in `rest`; false when the batch starts otherwise.
  bool DriverTransactionBatch(const std::string& sql, std::string& rest) {
    static const std::regex kPattern(R"(\s*IF\s+@@TRANCOUNT\s*>\s*0\s+(COMMIT|ROLLBACK)(\s+TRAN(SACTION)?)?(\s+BEGIN\s+TRAN(SACTION)?)?\s*;?)",
                                     std::regex::icase);
    std::smatch m;
    if (!std::regex_search(sql, m, kPattern, std::regex_constants::match_continuous)) return false;
    rest = m.suffix().str();
    const bool more = rest.find_first_not_of(" \t\r\n;") != std::string::npos;
    const bool commit = strcasecmp(m[1].str().c_str(), "COMMIT") == 0;
    try {
      if (state_.tranCount > 0) {
        if (commit) {
          state_.tranCount = 1;
          CommitTransaction(state_, w_);
        } else {
          RollbackTransaction(state_, w_);
        }
      }
      if (m[4].matched) BeginTransaction(state_, w_);
      WriteDone(w_, kTokDone, (state_.tranCount > 0 ? kDoneInTransaction : 0) | (more ? kDoneMore : 0), kCmdNone, 0);
    } catch (const SqlError& e) {
      WriteMessage(w_, e.message);
      WriteDone(w_, kTokDone, kDoneError | (more ? kDoneMore : 0), kCmdNone, 0);
    }
    return true;
  }

  void Rpc(const std::vector<uint8_t>& payload) {
    std::vector<RpcCall> calls;
    try {
      calls = ParseRpcCalls(payload, AllHeadersLength(payload, w_.tdsVersion()));
    } catch (const ProtocolError&) {
      WriteMessage(w_, Message(8009, 1, 16,
                               "The incoming tabular data stream (TDS) remote procedure call (RPC) protocol stream is incorrect."));
      WriteDone(w_, kTokDone, kDoneError, kCmdNone, 0);
      w_.EndMessage();
      return;
    }
    state_.RefreshRights();
    for (size_t i = 0; i < calls.size(); ++i) {
      const bool last = i + 1 == calls.size();
      if (!Call(calls[i], last)) break;
    }
    w_.EndMessage();
    if (w_.attention()) w_.ClearAttention();
  }

  enum class UserCall { NotFound, Answered, Cancelled };

  // An RPC of a stored procedure of the database: the body's results, then
  // RETURNSTATUS, a RETURNVALUE per output parameter and DONEPROC.
  UserCall CallUserProcedure(const RpcCall& call, const std::string& database, uint16_t doneMore) {
    try {
      if (!database.empty() && (!state_.hasDatabase() || strcasecmp(database.c_str(), state_.db().name().c_str()) != 0))
        return UserCall::NotFound;
      const auto definition = FindProcedure(state_, StoredProcedureName(call.procedure));
      if (!definition) return UserCall::NotFound;
      std::vector<ProcedureArgument> arguments;
      for (const auto& p : call.params) {
        ProcedureArgument a{p.name, p.value, p.output};
        if (p.byDefault) a.value.kind = Value::Kind::Default;
        arguments.push_back(std::move(a));
      }
      const ProcedureRun run = CallProcedure(state_, w_, *definition, arguments);
      if (run.outcome == BatchOutcome::Cancelled) return UserCall::Cancelled;
      if (!run.aborted) {
        WriteReturnStatus(w_, run.status);
        for (const auto& output : run.outputs) WriteProcedureOutput(w_, output);
      }
      WriteDone(w_, kTokDoneProc, (run.outcome == BatchOutcome::Failed ? kDoneError : 0) | doneMore, kCmdNone, 0);
    } catch (const SqlError& e) {
      WriteMessage(w_, e.message);
      WriteReturnStatus(w_, -6);
      WriteDone(w_, kTokDoneProc, kDoneError | doneMore, kCmdNone, 0);
    }
    return UserCall::Answered;
  }

  // Returns false when the client cancelled (the reply is then complete).
  bool Call(const RpcCall& call, bool last) {
    const uint16_t doneMore = last ? 0 : kDoneMore;
    auto procDone = [&](uint16_t status) { WriteDone(w_, kTokDoneProc, status | doneMore, kCmdNone, 0); };
    auto fail = [&](const ServerMessage& m) {
      WriteMessage(w_, m);
      WriteReturnStatus(w_, -6);
      procDone(kDoneError);
    };
    state_.variables.clear();
    uint16_t id = call.procId;
    std::string name;
    if (id == 0) {
      auto [database, procedure] = SplitProcedureName(call.procedure);
      name = procedure;
      static const std::pair<const char*, uint16_t> kNamed[] = {
          {"sp_executesql", kSpExecuteSql}, {"sp_prepare", kSpPrepare}, {"sp_execute", kSpExecute},
          {"sp_prepexec", kSpPrepExec}, {"sp_unprepare", kSpUnprepare}};
      for (const auto& [n, pid] : kNamed)
        if (strcasecmp(n, procedure.c_str()) == 0) id = pid;
      if (id == 0) {
        ProcedureArgs args;
        for (const auto& p : call.params) args.emplace_back(Lower(p.name), p.value);
        ServerMessage error;
        CatalogOutcome outcome = CatalogOutcome::NotCatalog;
        try {
          outcome = RunCatalogProcedure(procedure, args, state_, database, w_, error);
        } catch (const std::exception& e) {
          error = Message(50000, 1, 16, e.what());
          outcome = CatalogOutcome::Error;
        }
        if (outcome == CatalogOutcome::NotCatalog) {
          const UserCall user = CallUserProcedure(call, database, doneMore);
          if (user == UserCall::Cancelled) return false;
          if (user == UserCall::NotFound) fail(Message(2812, 62, 16, "Could not find stored procedure '" + procedure + "'."));
        } else if (outcome == CatalogOutcome::Error) {
          fail(error);
        } else {
          WriteReturnStatus(w_, 0);
          procDone(0);
        }
        return true;
      }
    }
    const auto& p = call.params;
    auto text = [&](size_t i) { return i < p.size() && p[i].value.kind == Value::Kind::String ? p[i].value.text : std::string(); };
    std::string statement, defs;
    size_t firstValue = 0;
    int32_t handle = 0;
    switch (id) {
      case kSpExecuteSql: statement = text(0); defs = text(1); firstValue = 2; break;
      case kSpPrepExec:
      case kSpPrepare:
        statement = text(2);
        defs = text(1);
        firstValue = 3;
        handle = state_.nextHandle++;
        state_.prepared[handle] = defs + '\n' + statement;
        break;
      case kSpExecute: {
        handle = p.empty() ? 0 : static_cast<int32_t>(p[0].value.integer);
        const auto it = state_.prepared.find(handle);
        if (it == state_.prepared.end()) {
          fail(Message(8179, 1, 16, "Could not find prepared statement with handle " + std::to_string(handle) + "."));
          return true;
        }
        defs = it->second.substr(0, it->second.find('\n'));
        statement = it->second.substr(it->second.find('\n') + 1);
        firstValue = 1;
        break;
      }
      case kSpUnprepare:
        if (!p.empty()) state_.prepared.erase(static_cast<int32_t>(p[0].value.integer));
        WriteReturnStatus(w_, 0);
        procDone(0);
        return true;
      default:
        fail(Message(2812, 62, 16, "Could not find stored procedure '" + (name.empty() ? std::to_string(id) : name) + "'."));
        return true;
    }
    // Parameter values, by name or in declaration order.
    const auto declared = DeclaredNames(defs);
    std::vector<std::pair<size_t, std::string>> marked;  // parameters the client wants back
    for (size_t i = firstValue, k = 0; i < p.size(); ++i, ++k) {
      const std::string key = !p[i].name.empty() ? Lower(p[i].name) : k < declared.size() ? declared[k] : "";
      if (!key.empty()) state_.variables[key] = p[i].value;
      if (!key.empty() && p[i].output) marked.emplace_back(i, key);
    }
    BatchOutcome outcome = BatchOutcome::Completed;
    if (id != kSpPrepare) outcome = BatchExecutor(state_, w_, true).Run(statement);
    if (outcome == BatchOutcome::Cancelled) return false;
    std::vector<ProcedureOutput> outputs;
    try {
      if (id != kSpPrepare) outputs = StatementOutputs(state_, defs, marked);
    } catch (const SqlError& e) {
      WriteMessage(w_, e.message);
      outcome = BatchOutcome::Failed;
    }
    WriteReturnStatus(w_, 0);
    if (id == kSpPrepExec || id == kSpPrepare) WriteReturnValueInt(w_, 0, p.empty() ? "" : p[0].name, handle);
    for (const auto& output : outputs) WriteProcedureOutput(w_, output);
    procDone(outcome == BatchOutcome::Failed ? kDoneError : 0);
    return true;
  }

  void TransactionManager(const std::vector<uint8_t>& payload) {
    const size_t at = AllHeadersLength(payload, w_.tdsVersion());
    if (payload.size() < at + 2) throw ProtocolError("short transaction-manager request");
    const uint16_t request = payload[at] | (payload[at + 1] << 8);
    // Commit and rollback carry a name (B_VARCHAR) then flags; bit 0 begins a new transaction.
    auto beginsNew = [&]() {
      size_t i = at + 2;
      if (i >= payload.size()) return false;
      i += 1 + 2 * static_cast<size_t>(payload[i]);
      return i < payload.size() && (payload[i] & 0x01);
    };
    try {
      switch (request) {
        case 5:  // begin
          if (state_.tranCount == 0) BeginTransaction(state_, w_);
          break;
        case 7:  // commit
        case 8:  // rollback
          if (state_.tranCount > 0) {
            if (request == 7) {
              state_.tranCount = 1;
              CommitTransaction(state_, w_);
            } else {
              RollbackTransaction(state_, w_);
            }
          }
          if (beginsNew()) BeginTransaction(state_, w_);
          break;
        default:
          WriteMessage(w_, Message(50000, 1, 16, "This transaction-manager request is not supported."));
          WriteDone(w_, kTokDone, kDoneError, kCmdNone, 0);
          w_.EndMessage();
          return;
      }
      WriteDone(w_, kTokDone, state_.tranCount > 0 ? kDoneInTransaction : 0, kCmdNone, 0);
    } catch (const SqlError& e) {
      WriteMessage(w_, e.message);
      WriteDone(w_, kTokDone, kDoneError, kCmdNone, 0);
    }
    w_.EndMessage();
  }

  std::unique_ptr<TlsSession> tls_;  // declared before socket_, which points at it
  bool loginOnlyEncryption_ = false;
  TdsSocket socket_;
  uint16_t spid_;
  const ServerContext& server_;
  ReplyWriter w_;
  SessionState state_;
  bool loggedIn_ = false;
  ActiveLogin activeLogin_;  // DROP LOGIN refuses a login that is connected
};

}  // namespace

void ServeClient(int fd, uint16_t spid, const ServerContext& server) {
  try {
    ClientSession(fd, spid, server).Run();
  } catch (const ConnectionLost&) {
    // The client went away; nothing to answer.
  } catch (const ProtocolError& e) {
    std::fprintf(stderr, "sqlstandin: connection %u dropped: %s\n", spid, e.what());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sqlstandin: connection %u failed: %s\n", spid, e.what());
  }
  close(fd);
}

}  // namespace standin
