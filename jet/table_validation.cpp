#include "jet/table_validation.h"

#include <algorithm>

#include "jet/format.h"
#include "jet/system_catalog.h"
#include "jet/text_codec.h"

namespace jet {

using namespace format;

namespace {

char16_t Fold(char16_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;  // Greek
  if (c >= 0x410 && c <= 0x42F) return c + 32;                 // Cyrillic
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  return c;
}

std::u16string FoldedName(std::string_view name) {
  std::u16string s;
  Utf8ToUtf16(name, s);
  for (auto& c : s) c = Fold(c);
  return s;
}

}  // namespace

std::string QuotedName(const std::string& name) {
  std::u16string s;
  if (!Utf8ToUtf16(name, s) || s.size() <= kMaxNameLength) return "'" + name + "'";
  return "'" + Utf16ToUtf8(s.substr(0, kMaxNameLength)) + "...'";
}

void CheckObjectName(const std::string& name, const std::string& what) {
  std::u16string s;
  if (!Utf8ToUtf16(name, s)) throw Error(ErrorCode::InvalidDefinition, what + " name is not valid UTF-8");
  if (s.empty()) throw Error(ErrorCode::InvalidDefinition, what + " name is empty");
  if (s.size() > kMaxNameLength) {
    throw Error(ErrorCode::LimitExceeded, what + " name " + QuotedName(name) + " is longer than " +
                                              std::to_string(kMaxNameLength) + " characters");
  }
  if (s[0] == u' ')
    throw Error(ErrorCode::InvalidDefinition, what + " name " + QuotedName(name) + " starts with a blank");
  for (char16_t c : s) {
    if (c < 0x20 || c == 0x7F)
      throw Error(ErrorCode::InvalidDefinition, what + " name " + QuotedName(name) + " contains a control character");
    if (c == u'.' || c == u'!' || c == u'`' || c == u'[' || c == u']')
      throw Error(ErrorCode::InvalidDefinition, what + " name " + QuotedName(name) + " contains '" +
                                                    static_cast<char>(c) + "', which Access does not allow in names");
  }
}

namespace {

void CheckName(const std::string& name, const std::string& what) { CheckObjectName(name, what); }

std::uint16_t FixedSize(ColumnType t) {
  switch (t) {
    case ColumnType::Boolean: case ColumnType::Byte: return 1;
    case ColumnType::Integer: return 2;
    case ColumnType::Long: case ColumnType::Single: return 4;
    case ColumnType::Currency: case ColumnType::Double: case ColumnType::DateTime: return 8;
    case ColumnType::Guid: return 16;
    case ColumnType::Decimal: return 17;
    default: return 0;
  }
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) { return FoldedName(a) == FoldedName(b); }

void ValidateTableDef(const TableDef& def) {
  CheckName(def.name, "The table");
  if (def.columns.empty()) throw Error(ErrorCode::InvalidDefinition, "Table '" + def.name + "' has no columns");
  if (def.columns.size() > kMaxColumns) {
    throw Error(ErrorCode::LimitExceeded, "Table '" + def.name + "' has " + std::to_string(def.columns.size()) +
                                              " columns; a table can have at most 255");
  }
  std::vector<std::u16string> seen;
  int autoNumbers = 0;
  for (const auto& c : def.columns) {
    CheckName(c.name, "The column");
    std::u16string folded = FoldedName(c.name);
    if (std::find(seen.begin(), seen.end(), folded) != seen.end()) {
      throw Error(ErrorCode::InvalidDefinition, "Table '" + def.name + "' has two columns named '" + c.name + "'");
    }
    seen.push_back(folded);
    std::string where = "Column '" + c.name + "' of table '" + def.name + "'";
    if (c.autoNumber) {
      if (c.type != ColumnType::Long) throw Error(ErrorCode::InvalidDefinition, where + ": only a Long Integer column can be an AutoNumber");
      if (autoNumbers++ > 0) throw Error(ErrorCode::InvalidDefinition, "Table '" + def.name + "' has more than one AutoNumber column");
    }
    if (c.defaultValue.size() > kMaxDefaultValueLength)
      throw Error(ErrorCode::LimitExceeded, where + ": a default value is at most 255 characters long");
    switch (c.type) {
      case ColumnType::Text:
        if (c.length > 255) {
          throw Error(ErrorCode::LimitExceeded, where + ": Text columns hold at most 255 characters (use Memo)");
        }
        if (c.length < 1) throw Error(ErrorCode::InvalidDefinition, where + ": a Text column needs a length of 1 to 255");
        break;
      case ColumnType::Binary:
        if (c.length > 255) throw Error(ErrorCode::LimitExceeded, where + ": Binary columns hold at most 255 bytes");
        if (c.length < 1) throw Error(ErrorCode::InvalidDefinition, where + ": a Binary column needs a length of 1 to 255");
        break;
      case ColumnType::Decimal:
        if (c.precision > 28) throw Error(ErrorCode::LimitExceeded, where + ": Decimal precision is at most 28");
        if (c.precision < 1) throw Error(ErrorCode::InvalidDefinition, where + ": Decimal precision must be at least 1");
        if (c.scale > c.precision) {
          throw Error(ErrorCode::InvalidDefinition, where + ": the scale is larger than the precision");
        }
        break;
      case ColumnType::Boolean: case ColumnType::Byte: case ColumnType::Integer: case ColumnType::Long:
      case ColumnType::Currency: case ColumnType::Single: case ColumnType::Double: case ColumnType::DateTime:
      case ColumnType::Memo: case ColumnType::Ole: case ColumnType::Guid:
        break;
      default:
        throw Error(ErrorCode::InvalidDefinition, where + ": unknown column type");
    }
  }
  if (def.primaryKey.size() > kMaxIndexColumns) {
    throw Error(ErrorCode::LimitExceeded, "The primary key of table '" + def.name + "' has more than 10 columns");
  }
  std::vector<std::u16string> keySeen;
  for (const auto& k : def.primaryKey) {
    auto it = std::find_if(def.columns.begin(), def.columns.end(), [&](const ColumnDef& c) { return SameName(c.name, k); });
    if (it == def.columns.end()) {
      throw Error(ErrorCode::NoSuchColumn, "The primary key of table '" + def.name + "' names a column '" + k +
                                               "' that the table does not have");
    }
    if (it->type == ColumnType::Memo || it->type == ColumnType::Ole) {
      throw Error(ErrorCode::InvalidDefinition, "Column '" + k + "' of table '" + def.name +
                                                    "' is a Memo or OLE Object column and cannot be part of a key");
    }
    std::u16string folded = FoldedName(k);
    if (std::find(keySeen.begin(), keySeen.end(), folded) != keySeen.end()) {
      throw Error(ErrorCode::InvalidDefinition, "The primary key of table '" + def.name + "' names '" + k + "' twice");
    }
    keySeen.push_back(folded);
  }
  if (!def.primaryKey.empty()) CheckName(def.primaryKeyName, "The primary key");
}

TableDefinition PhysicalDefinition(const TableDef& def) {
  TableDefinition t;
  t.tableType = kTableTypeUser;
  t.maxColumns = static_cast<std::uint16_t>(def.columns.size());
  for (std::size_t i = 0; i < def.columns.size(); ++i) {
    const ColumnDef& c = def.columns[i];
    PhysicalColumn p;
    p.type = static_cast<std::uint8_t>(c.type);
    p.number = static_cast<std::uint16_t>(i);
    Utf8ToUtf16(c.name, p.name);
    std::uint16_t fixed = FixedSize(c.type);
    p.flags = static_cast<std::uint8_t>((fixed ? kColumnFixed : 0) | kColumnUpdatable |
                                        (c.autoNumber ? kColumnAutoNumber : 0));
    p.length = fixed;
    if (c.type == ColumnType::Text) p.length = static_cast<std::uint16_t>(2 * c.length);
    if (c.type == ColumnType::Binary) p.length = c.length;
    if (c.type == ColumnType::Text || c.type == ColumnType::Memo) {
      p.extraFlags = kColumnCompressible;
      p.misc[0] = 0x09;  // sort order 1033, version 0 (General)
      p.misc[1] = 0x04;
    }
    if (c.type == ColumnType::Decimal) {
      p.misc[0] = c.precision;
      p.misc[1] = c.scale;
    }
    t.columns.push_back(std::move(p));
  }
  LayOutColumns(t);
  if (!def.primaryKey.empty()) {
    RealIndex r;
    for (const auto& k : def.primaryKey)
      for (std::size_t i = 0; i < def.columns.size(); ++i)
        if (SameName(def.columns[i].name, k)) r.columns.push_back({static_cast<std::uint16_t>(i), true});
    r.flags = kIndexAccess2000 | kIndexRequired | kIndexUnique;
    t.realIndexes.push_back(std::move(r));
    LogicalIndex l;
    l.kind = 1;
    Utf8ToUtf16(def.primaryKeyName, l.name);
    t.logicalIndexes.push_back(std::move(l));
  }
  for (const auto& c : t.columns)
    if (c.isLong()) t.longValueMaps.push_back({c.number, {}, {}});
  return t;
}

}  // namespace jet
