#include "tsql/string_functions.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "storage/sqlite_handle.h"
#include "types/collation.h"
#include "types/text_encoding.h"

namespace standin {
namespace {

// Code points of UTF-8 text, so positions and lengths count characters.
std::u32string Chars(sqlite3_value* v) {
  const std::string_view text(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                              static_cast<size_t>(sqlite3_value_bytes(v)));
  std::u32string out;
  for (size_t i = 0; i < text.size();) out += NextCodePoint(text, i);
  return out;
}

std::string Utf8(const std::u32string& s) {
  std::string out;
  for (char32_t cp : s) AppendUtf8(cp, out);
  return out;
}

void ResultText(sqlite3_context* ctx, const std::string& s) {
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

bool AnyNull(int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i)
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return true;
  return false;
}

char32_t Fold(char32_t c) { return FoldForComparison(c); }

constexpr int64_t kLongestResult = 2147483647;

void Replicate(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv) || sqlite3_value_int64(argv[1]) < 0) return sqlite3_result_null(ctx);
  const std::string unit(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])), sqlite3_value_bytes(argv[0]));
  const int64_t times = sqlite3_value_int64(argv[1]);
  if (static_cast<int64_t>(unit.size()) * times > 100000000) return sqlite3_result_error_toobig(ctx);
  std::string out;
  out.reserve(unit.size() * static_cast<size_t>(times));
  for (int64_t i = 0; i < times; ++i) out += unit;
  ResultText(ctx, out);
}

void Space(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv) || sqlite3_value_int64(argv[0]) < 0) return sqlite3_result_null(ctx);
  const int64_t n = std::min<int64_t>(sqlite3_value_int64(argv[0]), 8000);
  ResultText(ctx, std::string(static_cast<size_t>(n), ' '));
}

void Stuff(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(3, argv)) return sqlite3_result_null(ctx);
  std::u32string s = Chars(argv[0]);
  const int64_t start = sqlite3_value_int64(argv[1]);
  const int64_t length = sqlite3_value_int64(argv[2]);
  if (start < 1 || start > static_cast<int64_t>(s.size()) || length < 0) return sqlite3_result_null(ctx);
  const std::u32string insert = argc > 3 && sqlite3_value_type(argv[3]) != SQLITE_NULL ? Chars(argv[3]) : U"";
  s.replace(static_cast<size_t>(start - 1), static_cast<size_t>(std::min<int64_t>(length, s.size() - (start - 1))), insert);
  ResultText(ctx, Utf8(s));
}

void Reverse(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  std::u32string s = Chars(argv[0]);
  ResultText(ctx, Utf8(std::u32string(s.rbegin(), s.rend())));
}

void CharIndex(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(2, argv)) return sqlite3_result_null(ctx);
  std::u32string find = Chars(argv[0]), in = Chars(argv[1]);
  for (auto& c : find) c = Fold(c);
  for (auto& c : in) c = Fold(c);
  int64_t start = argc > 2 && sqlite3_value_type(argv[2]) != SQLITE_NULL ? sqlite3_value_int64(argv[2]) : 1;
  if (start < 1) start = 1;
  if (find.empty()) return sqlite3_result_int64(ctx, 0);
  const size_t at = static_cast<size_t>(start - 1) <= in.size() ? in.find(find, static_cast<size_t>(start - 1)) : std::u32string::npos;
  sqlite3_result_int64(ctx, at == std::u32string::npos ? 0 : static_cast<int64_t>(at) + 1);
}

// LIKE over whole text: % any run, _ one character, [abc] [a-z] [^a] sets; after
// `escape` (0: none) a character stands for itself. Case-insensitive unless `exact`.
bool Like(const std::u32string& p, size_t pi, const std::u32string& s, size_t si, char32_t escape = 0, bool exact = false) {
  const auto fold = [exact](char32_t c) { return exact ? c : FoldForComparison(c); };
  while (pi < p.size()) {
    if (escape && p[pi] == escape && pi + 1 < p.size()) {
      if (si >= s.size() || fold(p[pi + 1]) != fold(s[si])) return false;
      pi += 2;
      ++si;
      continue;
    }
    if (p[pi] == U'%') {
      while (pi < p.size() && p[pi] == U'%') ++pi;
      if (pi == p.size()) return true;
      for (size_t k = si; k <= s.size(); ++k)
        if (Like(p, pi, s, k, escape, exact)) return true;
      return false;
    }
    if (si >= s.size()) return false;
    if (p[pi] == U'[') {
      const size_t close = p.find(U']', pi + 1);
      if (close == std::u32string::npos) return false;
      bool negate = pi + 1 < close && p[pi + 1] == U'^';
      bool hit = false;
      for (size_t k = pi + 1 + negate; k < close; ++k) {
        if (k + 2 < close && p[k + 1] == U'-') {
          hit |= fold(s[si]) >= fold(p[k]) && fold(s[si]) <= fold(p[k + 2]);
          k += 2;
        } else {
          hit |= fold(s[si]) == fold(p[k]);
        }
      }
      if (hit == negate) return false;
      pi = close + 1;
      ++si;
      continue;
    }
    if (p[pi] != U'_' && fold(p[pi]) != fold(s[si])) return false;
    ++pi;
    ++si;
  }
  return si == s.size();
}

void PatIndex(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const std::u32string pattern = Chars(argv[0]), s = Chars(argv[1]);
  // The first position where the pattern, its leading % taken away, matches the rest.
  size_t from = 0;
  while (from < pattern.size() && pattern[from] == U'%') ++from;
  const std::u32string rest = pattern.substr(from);
  const size_t last = from > 0 ? s.size() : 0;
  for (size_t at = 0; at <= last; ++at)
    if (Like(rest, 0, s, at) && at < std::max<size_t>(s.size(), 1)) return sqlite3_result_int64(ctx, static_cast<int64_t>(at) + 1);
  sqlite3_result_int64(ctx, 0);
}

void QuoteName(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(1, argv)) return sqlite3_result_null(ctx);
  const std::u32string s = Chars(argv[0]);
  if (s.size() > 128) return sqlite3_result_null(ctx);
  std::string quote = "[";
  if (argc > 1 && sqlite3_value_type(argv[1]) != SQLITE_NULL)
    quote = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
  char open = quote.empty() ? '[' : quote[0];
  char close = open;
  if (open == '[' || open == ']') { open = '['; close = ']'; }
  else if (open == '(' || open == ')') { open = '('; close = ')'; }
  else if (open == '<' || open == '>') { open = '<'; close = '>'; }
  else if (open == '{' || open == '}') { open = '{'; close = '}'; }
  else if (open != '"' && open != '\'' && open != '`') return sqlite3_result_null(ctx);
  const std::string text(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])), sqlite3_value_bytes(argv[0]));
  std::string out(1, open);
  for (char c : text) {
    out += c;
    if (c == close) out += c;
  }
  ResultText(ctx, out + close);
}

void Str(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const double v = sqlite3_value_double(argv[0]);
  const int64_t length = argc > 1 ? sqlite3_value_int64(argv[1]) : 10;
  int64_t decimals = argc > 2 ? sqlite3_value_int64(argv[2]) : 0;
  if (length < 1 || length > 8000 || decimals < 0) return sqlite3_result_null(ctx);
  decimals = std::min<int64_t>(decimals, 16);
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(decimals), v);
  std::string text = buf;
  // Fewer decimals when they do not fit; stars when the whole part does not.
  while (static_cast<int64_t>(text.size()) > length && decimals > 0) {
    std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(--decimals), v);
    text = buf;
  }
  if (static_cast<int64_t>(text.size()) > length) text = std::string(static_cast<size_t>(length), '*');
  ResultText(ctx, std::string(static_cast<size_t>(length) - text.size(), ' ') + text);
}

void LeftOrRight(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const int64_t n = sqlite3_value_int64(argv[1]);
  if (n < 0) {
    sqlite3_result_error(ctx, "standin-error:536:Invalid length parameter passed to the LEFT or RIGHT function.", -1);
    return;
  }
  const std::u32string s = Chars(argv[0]);
  const size_t take = std::min<size_t>(static_cast<size_t>(n), s.size());
  const bool right = sqlite3_user_data(ctx) != nullptr;
  ResultText(ctx, Utf8(right ? s.substr(s.size() - take) : s.substr(0, take)));
}

void ObjectName(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  try {
    SqliteStatement s(sqlite3_context_db_handle(ctx),
                      "SELECT standin_bare(stored_name) FROM standin_all_objects WHERE object_id = ? LIMIT 1");
    s.Bind(1, static_cast<int64_t>(sqlite3_value_int64(argv[0])));
    if (s.Step()) ResultText(ctx, s.Text(0));
    else sqlite3_result_null(ctx);
  } catch (const SqliteError& e) {
    sqlite3_result_error(ctx, e.what(), -1);
  }
}

// `s LIKE p [ESCAPE e]` (SQLite calls like(p, s[, e])): T-SQL's patterns, compared
// as the default collation does (case-insensitive); trailing blanks count.
void LikeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  char32_t escape = 0;
  if (argc > 2) {
    const std::u32string e = Chars(argv[2]);
    if (e.size() != 1) return sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
    escape = e[0];
  }
  sqlite3_result_int(ctx, Like(Chars(argv[0]), 0, Chars(argv[1]), 0, escape));
}

// `s MATCH p`: LIKE in a case-sensitive or binary collation (see tsql/typed_rewrites.h).
void CaseSensitiveLike(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  sqlite3_result_int(ctx, Like(Chars(argv[0]), 0, Chars(argv[1]), 0, 0, true));
}

// A hash of the values (text without regard to case or trailing blanks, as
// the default collation compares); equal values give equal sums.
void Checksum(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  uint32_t h = 0;
  for (int i = 0; i < argc; ++i) {
    uint32_t part = 0;
    if (sqlite3_value_type(argv[i]) == SQLITE_TEXT) {
      std::u32string s = Chars(argv[i]);
      while (!s.empty() && s.back() == U' ') s.pop_back();
      for (char32_t c : s) part = part * 31 + static_cast<uint32_t>(Fold(c));
    } else if (sqlite3_value_type(argv[i]) != SQLITE_NULL) {
      const auto* p = static_cast<const unsigned char*>(sqlite3_value_blob(argv[i]));
      for (int k = 0; k < sqlite3_value_bytes(argv[i]); ++k) part = part * 31 + p[k];
    }
    h = (h << 4 | h >> 28) ^ part;
  }
  sqlite3_result_int64(ctx, static_cast<int32_t>(h));
}

}  // namespace

void RegisterStringFunctions(sqlite3* db) {
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  static int rightMarker = 1;
  sqlite3_create_function(db, "replicate", 2, flags, nullptr, Replicate, nullptr, nullptr);
  sqlite3_create_function(db, "space", 1, flags, nullptr, Space, nullptr, nullptr);
  sqlite3_create_function(db, "stuff", 4, flags, nullptr, Stuff, nullptr, nullptr);
  sqlite3_create_function(db, "reverse", 1, flags, nullptr, Reverse, nullptr, nullptr);
  sqlite3_create_function(db, "charindex", 2, flags, nullptr, CharIndex, nullptr, nullptr);
  sqlite3_create_function(db, "charindex", 3, flags, nullptr, CharIndex, nullptr, nullptr);
  sqlite3_create_function(db, "patindex", 2, flags, nullptr, PatIndex, nullptr, nullptr);
  sqlite3_create_function(db, "quotename", 1, flags, nullptr, QuoteName, nullptr, nullptr);
  sqlite3_create_function(db, "quotename", 2, flags, nullptr, QuoteName, nullptr, nullptr);
  for (int argc = 1; argc <= 3; ++argc) sqlite3_create_function(db, "str", argc, flags, nullptr, Str, nullptr, nullptr);
  sqlite3_create_function(db, "tsql_left", 2, flags, nullptr, LeftOrRight, nullptr, nullptr);
  sqlite3_create_function(db, "tsql_right", 2, flags, &rightMarker, LeftOrRight, nullptr, nullptr);
  sqlite3_create_function(db, "object_name", 1, SQLITE_UTF8, nullptr, ObjectName, nullptr, nullptr);
  sqlite3_create_function(db, "checksum", -1, flags, nullptr, Checksum, nullptr, nullptr);
  sqlite3_create_function(db, "like", 2, flags, nullptr, LikeFunction, nullptr, nullptr);
  sqlite3_create_function(db, "like", 3, flags, nullptr, LikeFunction, nullptr, nullptr);
  sqlite3_create_function(db, "match", 2, flags, nullptr, CaseSensitiveLike, nullptr, nullptr);
}

}  // namespace standin
