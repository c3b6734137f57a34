#include "types/collation.h"

#include <iconv.h>
#include <sqlite3.h>
#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace standin {
namespace {

struct Language {
  const char* prefix;  // the name up to its _CI/_CS... suffix
  uint32_t lcid;
  int codePage;
};

constexpr Language kLanguages[] = {
    {"Latin1_General", 0x0409, 1252},       {"SQL_Latin1_General_CP1", 0x0409, 1252},
    {"SQL_Latin1_General_CP1250", 0x0405, 1250}, {"SQL_Latin1_General_CP1251", 0x0419, 1251},
    {"SQL_Latin1_General_CP1253", 0x0408, 1253}, {"SQL_Latin1_General_CP1254", 0x041F, 1254},
    {"SQL_Latin1_General_CP1255", 0x040D, 1255}, {"SQL_Latin1_General_CP1256", 0x0401, 1256},
    {"SQL_Latin1_General_CP1257", 0x0425, 1257},
    {"Hebrew", 0x040D, 1255},               {"Chinese_PRC", 0x0804, 936},
    {"Chinese_Simplified_Pinyin_100", 0x0804, 936}, {"Chinese_Taiwan_Stroke", 0x0404, 950},
    {"Chinese_Hong_Kong_Stroke_90", 0x0C04, 950},   {"Cyrillic_General", 0x0419, 1251},
    {"Ukrainian", 0x0422, 1251},            {"Macedonian_FYROM_90", 0x042F, 1251},
    {"Greek", 0x0408, 1253},                {"Japanese", 0x0411, 932},
    {"Korean_Wansung", 0x0412, 949},        {"Korean_90", 0x0412, 949},
    {"Arabic", 0x0401, 1256},               {"Thai", 0x041E, 874},
    {"Turkish", 0x041F, 1254},              {"Polish", 0x0415, 1250},
    {"Czech", 0x0405, 1250},                {"Hungarian", 0x040E, 1250},
    {"Romanian", 0x0418, 1250},             {"Croatian", 0x041A, 1250},
    {"Slovak", 0x041B, 1250},               {"Slovenian", 0x0424, 1250},
    {"Albanian", 0x041C, 1250},             {"Vietnamese", 0x042A, 1258},
    {"Lithuanian", 0x0427, 1257},           {"Latvian", 0x0426, 1257},
    {"Estonian", 0x0425, 1257},             {"French", 0x040C, 1252},
    {"German_PhoneBook", 0x10407, 1252},    {"Modern_Spanish", 0x0C0A, 1252},
    {"Traditional_Spanish", 0x040A, 1252},  {"Finnish_Swedish", 0x040B, 1252},
    {"Danish_Norwegian", 0x0406, 1252},     {"Icelandic", 0x040F, 1252},
};

// Windows code page → iconv name.
std::string IconvName(int codePage) {
  switch (codePage) {
    case 936: return "GBK";
    case 950: return "BIG5";
    case 932: return "CP932";
    case 949: return "CP949";
    case 874: return "CP874";
    default: return "CP" + std::to_string(codePage);
  }
}

// Converts with one iconv descriptor per direction and code page, kept per thread.
std::string Convert(const std::string& from, const std::string& to, std::string_view in, bool replaceUnknown) {
  thread_local std::map<std::string, iconv_t> handles;
  const std::string key = from + ">" + to;
  auto it = handles.find(key);
  if (it == handles.end()) it = handles.emplace(key, iconv_open(to.c_str(), from.c_str())).first;
  iconv_t cd = it->second;
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string out;
  out.resize(in.size() * 4 + 16);
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = out.data();
  size_t dstLeft = out.size();
  while (srcLeft > 0) {
    if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      const size_t used = static_cast<size_t>(dst - out.data());
      out.resize(out.size() * 2);
      dst = out.data() + used;
      dstLeft = out.size() - used;
      continue;
    }
    // A character the target lacks (or a broken sequence): '?' in its place.
    if (dstLeft == 0) continue;
    if (replaceUnknown) {
      *dst++ = '?';
      --dstLeft;
    }
    // Skip one source character (a whole UTF-8 sequence when reading UTF-8).
    size_t skip = 1;
    if (from == "UTF-8") {
      const auto b = static_cast<unsigned char>(*src);
      skip = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : 4;
      if (skip > srcLeft) skip = srcLeft;
    }
    src += skip;
    srcLeft -= skip;
  }
  // Stateful code pages (1255, 1258) hold back a character that a mark could follow.
  for (;;) {
    if (iconv(cd, nullptr, nullptr, &dst, &dstLeft) != static_cast<size_t>(-1) || errno != E2BIG) break;
    const size_t used = static_cast<size_t>(dst - out.data());
    out.resize(out.size() * 2);
    dst = out.data() + used;
    dstLeft = out.size() - used;
  }
  out.resize(static_cast<size_t>(dst - out.data()));
  return out;
}

// Folding for comparisons: lower case for the scripts the collations above
// cover, and (for accent-insensitive ones) letters without their marks.
char32_t FoldCase(char32_t c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131) return (c % 2 == 0 && c < 0x138) || (c > 0x138 && c % 2 == 1) ? c + 1 : c;
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
  switch (c) {  // Greek capitals with tonos, final sigma
    case 0x386: return 0x3AC; case 0x388: return 0x3AD; case 0x389: return 0x3AE; case 0x38A: return 0x3AF;
    case 0x38C: return 0x3CC; case 0x38E: return 0x3CD; case 0x38F: return 0x3CE; case 0x3C2: return 0x3C3;
    default: break;
  }
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  return c;
}

char32_t StripAccent(char32_t c) {
  static const char kLatin1[] = "aaaaaaaceeeeiiiidnooooo/ouuuuyty";  // U+00E0..U+00FF after folding
  if (c >= 0xE0 && c <= 0xFF && c != 0xF7) return static_cast<unsigned char>(kLatin1[c - 0xE0]);
  switch (c) {  // Greek letters with tonos or dialytika
    case 0x3AC: return 0x3B1; case 0x3AD: return 0x3B5; case 0x3AE: return 0x3B7; case 0x3AF: return 0x3B9;
    case 0x3CC: return 0x3BF; case 0x3CD: return 0x3C5; case 0x3CE: return 0x3C9; case 0x3CA: return 0x3B9;
    case 0x3CB: return 0x3C5; case 0x390: return 0x3B9; case 0x3B0: return 0x3C5;
    case 0x451: return 0x435;  // ё → е
    default: break;
  }
  // Hebrew letters with points, as code page 1255 text decodes into them.
  static const char16_t kHebrewForms[] = {
      /*FB1D*/ 0x5D9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x5E9, 0x5E9, 0x5E9, 0x5E9, 0x5D0, 0x5D0, 0x5D0, 0x5D1,
      0x5D2, 0x5D3, 0x5D4, 0x5D5, 0x5D6, 0, 0x5D8, 0x5D9, 0x5DA, 0x5DB, 0x5DC, 0, 0x5DE, 0, 0x5E0, 0x5E1, 0,
      0x5E3, 0x5E4, 0, 0x5E6, 0x5E7, 0x5E8, 0x5E9, 0x5EA, 0x5D5, 0x5D1, 0x5DB, 0x5E4};
  if (c >= 0xFB1D && c <= 0xFB4E && kHebrewForms[c - 0xFB1D]) return kHebrewForms[c - 0xFB1D];
  return c;
}

bool IsMark(char32_t c) { return (c >= 0x300 && c <= 0x36F) || (c >= 0x591 && c <= 0x5C7 && c != 0x5BE && c != 0x5C0 && c != 0x5C3 && c != 0x5C6); }

char32_t Next(const unsigned char* s, int n, int& i) {
  const unsigned char b = s[i++];
  if (b < 0x80) return b;
  int extra = (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : 3;
  char32_t c = b & (0x3F >> extra);
  while (extra-- > 0 && i < n) c = (c << 6) | (s[i++] & 0x3F);
  return c;
}

// Trailing blanks do not count in SQL Server's comparisons, whatever the collation:
// the shorter string is padded with blanks.
int TrimmedLength(const unsigned char* s, int n) {
  while (n > 0 && s[n - 1] == ' ') --n;
  return n;
}

// Windows collations: letters compare by their base letter (é sorts with e);
// then an accent-sensitive one tells accents apart, and a case-sensitive one
// case variants, lower case first (a < A < b).
template <bool Accents, bool Case>
int Compare(void*, int n1, const void* p1, int n2, const void* p2) {
  const auto* a = static_cast<const unsigned char*>(p1);
  const auto* b = static_cast<const unsigned char*>(p2);
  n1 = TrimmedLength(a, n1);
  n2 = TrimmedLength(b, n2);
  int i = 0, j = 0, accentOrder = 0, caseOrder = 0;
  for (;;) {
    char32_t x = 0, y = 0, rawX = 0, rawY = 0;
    while (i < n1) { rawX = Next(a, n1, i); x = FoldCase(rawX); if (Accents || !IsMark(x)) break; x = 0; }
    while (j < n2) { rawY = Next(b, n2, j); y = FoldCase(rawY); if (Accents || !IsMark(y)) break; y = 0; }
    const char32_t baseX = StripAccent(x), baseY = StripAccent(y);
    if (baseX != baseY) return baseX < baseY ? -1 : 1;
    if (x == 0) return accentOrder ? accentOrder : caseOrder;
    if (Accents && accentOrder == 0 && x != y) accentOrder = x < y ? -1 : 1;
    if (Case && caseOrder == 0) {
      const bool lowerX = x == rawX, lowerY = y == rawY;
      if (lowerX != lowerY) caseOrder = lowerX ? -1 : 1;
    }
  }
}

// Binary collations: code point order (UTF-8 bytes sort so), trailing blanks aside.
int CompareBinary(void*, int n1, const void* p1, int n2, const void* p2) {
  const auto* a = static_cast<const unsigned char*>(p1);
  const auto* b = static_cast<const unsigned char*>(p2);
  n1 = TrimmedLength(a, n1);
  n2 = TrimmedLength(b, n2);
  const int common = std::min(n1, n2);
  if (const int c = common > 0 ? std::memcmp(a, b, static_cast<size_t>(common)) : 0) return c;
  return n1 == n2 ? 0 : n1 < n2 ? -1 : 1;
}

}  // namespace

std::vector<uint8_t> Collation::wireBytes() const {
  uint32_t info = lcid & 0xFFFFF;
  if (binary) {
    info |= 1u << 24;
  } else {
    if (ignoreCase) info |= 1u << 20;
    if (ignoreAccents) info |= 1u << 21;
    info |= 3u << 22;  // kana and width insensitive
  }
  return {static_cast<uint8_t>(info), static_cast<uint8_t>(info >> 8), static_cast<uint8_t>(info >> 16),
          static_cast<uint8_t>(info >> 24), sortId};
}

const char* Collation::sqliteCollation() const {
  if (binary) return "standin_bin";
  if (!ignoreCase) return ignoreAccents ? "standin_cs_ai" : "standin_cs_as";
  return ignoreAccents ? "standin_ci_ai" : "standin_ci_as";
}

const Collation* FindCollation(std::string_view rawName) {
  static std::mutex mu;
  static std::map<std::string, std::unique_ptr<Collation>> known;
  std::string key(rawName);
  for (auto& ch : key) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  std::lock_guard lock(mu);
  if (const auto it = known.find(key); it != known.end()) return it->second.get();
  for (const auto& lang : kLanguages) {
    const size_t n = std::char_traits<char>::length(lang.prefix);
    if (rawName.size() <= n + 1 || strncasecmp(rawName.data(), lang.prefix, n) != 0 || rawName[n] != '_') continue;
    auto c = std::make_unique<Collation>();
    c->name = std::string(rawName);
    c->lcid = lang.lcid;
    c->codePage = lang.codePage;
    bool sawCase = false, flagsKnown = true;
    std::string_view rest = rawName.substr(n + 1);
    while (flagsKnown && !rest.empty()) {
      const size_t us = rest.find('_');
      std::string flag(rest.substr(0, us));
      for (auto& ch : flag) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      if (flag == "CI") { c->ignoreCase = true; sawCase = true; }
      else if (flag == "CS") { c->ignoreCase = false; sawCase = true; }
      else if (flag == "AI") c->ignoreAccents = true;
      else if (flag == "AS") c->ignoreAccents = false;
      else if (flag == "BIN" || flag == "BIN2") { c->binary = true; sawCase = true; }
      else flagsKnown = flag == "KS" || flag == "WS" || flag == "SC" || flag == "UTF8" || flag == "100" || flag == "90" ||
                   flag == "140";  // otherwise not this language's name: try the next one
      rest = us == std::string_view::npos ? std::string_view() : rest.substr(us + 1);
    }
    if (!flagsKnown || !sawCase) continue;
    // The SQL collation of code page 1252 has its own sort ids; the others are
    // known to clients by their LCID.
    if (strcasecmp(lang.prefix, "SQL_Latin1_General_CP1") == 0) c->sortId = c->ignoreCase ? 52 : 51;
    return known.emplace(key, std::move(c)).first->second.get();
  }
  return nullptr;
}

const Collation& DefaultCollation() {
  static const Collation* c = FindCollation("SQL_Latin1_General_CP1_CI_AS");
  return *c;
}

char32_t FoldForComparison(char32_t c) { return FoldCase(c); }

const char* ColumnSqliteCollation(const Collation* declared) {
  return (declared ? *declared : DefaultCollation()).sqliteCollation();
}

std::string EncodeForCollation(const Collation& c, std::string_view utf8) {
  return Convert("UTF-8", IconvName(c.codePage), utf8, true);
}

std::string DecodeFromCollation(const Collation& c, std::string_view bytes) {
  return Convert(IconvName(c.codePage), "UTF-8", bytes, true);
}

void RegisterCollations(::sqlite3* db, const Collation& databaseDefault) {
  using Comparison = int (*)(void*, int, const void*, int, const void*);
  const std::pair<const char*, Comparison> kinds[] = {{"standin_ci_as", Compare<true, false>},
                                                       {"standin_ci_ai", Compare<false, false>},
                                                       {"standin_cs_as", Compare<true, true>},
                                                       {"standin_cs_ai", Compare<false, true>},
                                                       {"standin_bin", CompareBinary}};
  for (const auto& [name, compare] : kinds) {
    sqlite3_create_collation(db, name, SQLITE_UTF8, nullptr, compare);
    if (std::strcmp(name, databaseDefault.sqliteCollation()) == 0)
      sqlite3_create_collation(db, kDatabaseDefaultSqliteCollation, SQLITE_UTF8, nullptr, compare);
  }
}

}  // namespace standin
