#include "tsql/sql_functions.h"

#include <strings.h>
#include <sys/time.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>

#include "types/explicit_conversion.h"
#include "types/spatial_value.h"
#include "types/spatial_wkt.h"
#include "tsql/date_functions.h"
#include "tsql/string_functions.h"

namespace standin {
namespace {

void Now(sqlite3_context* ctx, bool utc, int fractionDigits) {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  tm parts{};
  const time_t seconds = tv.tv_sec;
  if (utc) gmtime_r(&seconds, &parts);
  else localtime_r(&seconds, &parts);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%06ld0", parts.tm_year + 1900, parts.tm_mon + 1,
                parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, static_cast<long>(tv.tv_usec));
  std::string text(buf);
  text.resize(20 + fractionDigits);
  sqlite3_result_text(ctx, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void GetDate(sqlite3_context* ctx, int, sqlite3_value**) { Now(ctx, false, 3); }
void GetUtcDate(sqlite3_context* ctx, int, sqlite3_value**) { Now(ctx, true, 3); }
void SysDateTime(sqlite3_context* ctx, int, sqlite3_value**) { Now(ctx, false, 7); }
void SysUtcDateTime(sqlite3_context* ctx, int, sqlite3_value**) { Now(ctx, true, 7); }

void NewId(sqlite3_context* ctx, int, sqlite3_value**) {
  thread_local std::mt19937_64 rng{std::random_device{}()};
  const uint64_t a = rng(), b = rng();
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08X-%04X-4%03X-%04X-%012llX", static_cast<unsigned>(a >> 32),
                static_cast<unsigned>((a >> 16) & 0xFFFF), static_cast<unsigned>(a & 0xFFF),
                static_cast<unsigned>(0x8000 | (b >> 50)), static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFULL));
  sqlite3_result_text(ctx, buf, -1, SQLITE_TRANSIENT);
}

Value FromSqliteValue(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: return Value::Int(sqlite3_value_int64(v));
    case SQLITE_FLOAT: {
      Value x;
      x.kind = Value::Kind::Float;
      x.real = sqlite3_value_double(v);
      return x;
    }
    case SQLITE_TEXT:
      return Value::Str(std::string(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                                    static_cast<size_t>(sqlite3_value_bytes(v))));
    case SQLITE_BLOB: {
      Value x;
      x.kind = Value::Kind::Binary;
      const auto* p = static_cast<const uint8_t*>(sqlite3_value_blob(v));
      x.bytes.assign(p, p + sqlite3_value_bytes(v));
      return x;
    }
    default: return Value::Null();
  }
}

void ResultStored(sqlite3_context* ctx, const StoredValue& s) {
  switch (s.kind) {
    case StoredValue::Kind::Integer: sqlite3_result_int64(ctx, s.integer); break;
    case StoredValue::Kind::Real: sqlite3_result_double(ctx, s.real); break;
    case StoredValue::Kind::Text:
      sqlite3_result_text(ctx, s.text.data(), static_cast<int>(s.text.size()), SQLITE_TRANSIENT);
      break;
    case StoredValue::Kind::Blob:
      if (s.blob.empty()) sqlite3_result_zeroblob(ctx, 0);
      else sqlite3_result_blob(ctx, s.blob.data(), static_cast<int>(s.blob.size()), SQLITE_TRANSIENT);
      break;
    default: sqlite3_result_null(ctx); break;
  }
}

// tsql_convert('type', value[, style]): CONVERT and CAST. The parsed type is
// kept with the statement, so each row only converts.
void Convert(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  const bool tryOnly = sqlite3_user_data(ctx) != nullptr;
  const SqlType* type = static_cast<const SqlType*>(sqlite3_get_auxdata(ctx, 0));
  ConversionError error;
  SqlType parsedType;
  if (!type) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const auto parsed = ParseTargetType(text ? text : "", error);
    if (!parsed) {
      sqlite3_result_error(ctx, EncodeConversionError(error).c_str(), -1);
      return;
    }
    parsedType = *parsed;
    type = &parsedType;
    sqlite3_set_auxdata(ctx, 0, new SqlType(parsedType), [](void* p) { delete static_cast<SqlType*>(p); });
  }
  std::optional<int> style;
  if (argc > 2 && sqlite3_value_type(argv[2]) != SQLITE_NULL) style = sqlite3_value_int(argv[2]);
  const auto stored = ConvertExplicitly(FromSqliteValue(argv[1]), *type, style, error);
  if (!stored) {
    if (tryOnly) sqlite3_result_null(ctx);
    else sqlite3_result_error(ctx, EncodeConversionError(error).c_str(), -1);
    return;
  }
  ResultStored(ctx, *stored);
}

// tsql_divide(a, b) and tsql_modulo(a, b): "/" and "%" as SQL Server computes
// them, error 8134 for a zero divisor where SQLite would answer NULL.
void DivideOrModulo(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const bool modulo = sqlite3_user_data(ctx) != nullptr;
  const int ta = sqlite3_value_numeric_type(argv[0]);
  const int tb = sqlite3_value_numeric_type(argv[1]);
  if (ta == SQLITE_NULL || tb == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  auto fail = [&](int number, const char* text) {
    sqlite3_result_error(ctx, EncodeConversionError(ConversionError{number, text}).c_str(), -1);
  };
  if (ta == SQLITE_INTEGER && tb == SQLITE_INTEGER) {
    const int64_t a = sqlite3_value_int64(argv[0]), b = sqlite3_value_int64(argv[1]);
    if (b == 0) return fail(8134, "Divide by zero error encountered.");
    if (b == -1 && a == INT64_MIN)
      return fail(8115, "Arithmetic overflow error converting expression to data type bigint.");
    sqlite3_result_int64(ctx, modulo ? a % b : a / b);
    return;
  }
  const double a = sqlite3_value_double(argv[0]), b = sqlite3_value_double(argv[1]);
  if (b == 0) return fail(8134, "Divide by zero error encountered.");
  sqlite3_result_double(ctx, modulo ? std::fmod(a, b) : a / b);
}

// geography::Point(lat, lon, srid), geometry::Point(x, y, srid), and
// ::STGeomFromText / ::STPointFromText / ::Parse of well-known text.
void SpatialFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  const bool geography = sqlite3_user_data(ctx) != nullptr;
  for (int i = 0; i < argc; ++i)
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::string problem;
  std::optional<std::vector<uint8_t>> bytes;
  if (argc == 3) {
    bytes = SerializePoint(geography, sqlite3_value_double(argv[0]), sqlite3_value_double(argv[1]),
                           sqlite3_value_int(argv[2]), problem);
  } else {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const int32_t srid = argc == 2 ? sqlite3_value_int(argv[1]) : (geography ? kDefaultGeographySrid : 0);
    bytes = SerializeWkt(geography, text ? text : "", srid, problem);
  }
  if (!bytes) {
    const std::string type = geography ? "geography" : "geometry";
    sqlite3_result_error(ctx,
                         EncodeConversionError(ConversionError{
                             6522, "A .NET Framework error occurred during execution of user-defined routine or aggregate \"" +
                                       type + "\": System.ArgumentException: " + problem})
                             .c_str(),
                         -1);
    return;
  }
  sqlite3_result_blob(ctx, bytes->data(), static_cast<int>(bytes->size()), SQLITE_TRANSIENT);
}

// Whether the column named `hint` holds geography: what the tables that have
// a spatial column of that name say (kept for the statement), else the SRID
// (geography's are 4120-4999).
bool HoldsGeography(sqlite3_context* ctx, sqlite3_value* hint, int32_t srid) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(hint));
  const std::string name = text ? text : "";
  if (strcasecmp(name.c_str(), "geography") == 0) return true;
  if (strcasecmp(name.c_str(), "geometry") == 0) return false;
  const bool bySrid = srid >= 4120 && srid <= 4999;
  if (auto* known = static_cast<int*>(sqlite3_get_auxdata(ctx, 1))) return *known < 0 ? bySrid : *known == 1;
  int kind = -1;  // -1: not known from the catalog
  sqlite3_stmt* stmt = nullptr;
  if (!name.empty() &&
      sqlite3_prepare_v2(sqlite3_context_db_handle(ctx),
                         "SELECT DISTINCT type_name FROM main.standin_columns WHERE name = ?1"
                         " AND type_name IN ('geography', 'geometry')",
                         -1, &stmt, nullptr) == SQLITE_OK) {
    sqlite3_bind_text(stmt, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    int found = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      kind = strcmp(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "geography") == 0 ? 1 : 0;
      ++found;
    }
    if (found != 1) kind = -1;  // the same name in both kinds: the SRID decides
  }
  sqlite3_finalize(stmt);
  sqlite3_set_auxdata(ctx, 1, new int(kind), [](void* p) { delete static_cast<int*>(p); });
  return kind < 0 ? bySrid : kind == 1;
}

// value.STAsText() / .ToString(): tsql_spatial_text(value, hint, zm).
void SpatialText(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  const auto* data = static_cast<const uint8_t*>(sqlite3_value_blob(argv[0]));
  const std::vector<uint8_t> bytes(data, data + sqlite3_value_bytes(argv[0]));
  int32_t srid = 0;
  if (bytes.size() >= 4) srid = static_cast<int32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t{bytes[3]} << 24);
  const auto value = Deserialize(HoldsGeography(ctx, argv[1], srid), bytes);
  if (!value) {
    sqlite3_result_error(ctx,
                         EncodeConversionError(ConversionError{
                             6522, "A .NET Framework error occurred during execution of user-defined routine or"
                                   " aggregate \"geography\": System.FormatException: 24114: The input is not a valid"
                                   " spatial value."})
                             .c_str(),
                         -1);
    return;
  }
  const std::string text = WriteWkt(value->shape, sqlite3_value_int(argv[2]) != 0);
  sqlite3_result_text(ctx, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

}  // namespace

void RegisterTsqlFunctions(sqlite3* db) {
  RegisterStringFunctions(db);
  RegisterDateFunctions(db);
  const int flags = SQLITE_UTF8;
  sqlite3_create_function(db, "getdate", 0, flags, nullptr, GetDate, nullptr, nullptr);
  sqlite3_create_function(db, "current_timestamp", 0, flags, nullptr, GetDate, nullptr, nullptr);
  sqlite3_create_function(db, "getutcdate", 0, flags, nullptr, GetUtcDate, nullptr, nullptr);
  sqlite3_create_function(db, "sysdatetime", 0, flags, nullptr, SysDateTime, nullptr, nullptr);
  sqlite3_create_function(db, "newid", 0, flags, nullptr, NewId, nullptr, nullptr);
  // tsql_sysutcdatetime: the name the history triggers of temporal tables use.
  for (const char* name : {"sysutcdatetime", "tsql_sysutcdatetime"})
    sqlite3_create_function(db, name, 0, flags, nullptr, SysUtcDateTime, nullptr, nullptr);
  static int geographyMarker = 1;
  for (void* geography : {static_cast<void*>(&geographyMarker), static_cast<void*>(nullptr)}) {
    const std::string type = geography ? "tsql_geography_" : "tsql_geometry_";
    for (const auto& [method, argc] : {std::pair<const char*, int>{"point", 3}, {"stgeomfromtext", 2},
                                       {"stpointfromtext", 2}, {"parse", 1}})
      sqlite3_create_function(db, (type + method).c_str(), argc, flags | SQLITE_DETERMINISTIC, geography, SpatialFunction,
                              nullptr, nullptr);
  }
  sqlite3_create_function(db, "tsql_spatial_text", 3, flags, nullptr, SpatialText, nullptr, nullptr);
  static int moduloMarker = 1;
  sqlite3_create_function(db, "tsql_divide", 2, flags | SQLITE_DETERMINISTIC, nullptr, DivideOrModulo, nullptr, nullptr);
  sqlite3_create_function(db, "tsql_modulo", 2, flags | SQLITE_DETERMINISTIC, &moduloMarker, DivideOrModulo, nullptr,
                          nullptr);
  static int tryMarker = 1;
  for (int argc : {2, 3}) {
    sqlite3_create_function(db, "tsql_convert", argc, flags | SQLITE_DETERMINISTIC, nullptr, Convert, nullptr, nullptr);
    sqlite3_create_function(db, "tsql_try_convert", argc, flags | SQLITE_DETERMINISTIC, &tryMarker, Convert, nullptr,
                            nullptr);
  }
}

}  // namespace standin
