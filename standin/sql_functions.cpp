#include "sql_functions.h"

#include <sys/time.h>

#include <cstdio>
#include <ctime>
#include <random>
#include <string>

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

void NewId(sqlite3_context* ctx, int, sqlite3_value**) {
  thread_local std::mt19937_64 rng{std::random_device{}()};
  const uint64_t a = rng(), b = rng();
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08X-%04X-4%03X-%04X-%012llX", static_cast<unsigned>(a >> 32),
                static_cast<unsigned>((a >> 16) & 0xFFFF), static_cast<unsigned>(a & 0xFFF),
                static_cast<unsigned>(0x8000 | (b >> 50)), static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFULL));
  sqlite3_result_text(ctx, buf, -1, SQLITE_TRANSIENT);
}

}  // namespace

void RegisterTsqlFunctions(sqlite3* db) {
  const int flags = SQLITE_UTF8;
  sqlite3_create_function(db, "getdate", 0, flags, nullptr, GetDate, nullptr, nullptr);
  sqlite3_create_function(db, "current_timestamp", 0, flags, nullptr, GetDate, nullptr, nullptr);
  sqlite3_create_function(db, "getutcdate", 0, flags, nullptr, GetUtcDate, nullptr, nullptr);
  sqlite3_create_function(db, "sysdatetime", 0, flags, nullptr, SysDateTime, nullptr, nullptr);
  sqlite3_create_function(db, "newid", 0, flags, nullptr, NewId, nullptr, nullptr);
}

}  // namespace standin
