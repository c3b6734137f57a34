#include "referenced_key_types.h"

#include <strings.h>

#include "column_catalog.h"

namespace talvoro::engine {
namespace {

bool Is(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

// The integer types the mapping writes that are narrower than a Long Integer.
bool NarrowInteger(const ColumnMapping& m) { return Is(m.typeText, "byte") || Is(m.typeText, "smallint"); }

}  // namespace

bool MayFollowWidenedKey(const ColumnMapping& column) { return NarrowInteger(column); }

std::optional<ColumnMapping> MatchReferencedKey(const ColumnMapping& column, const ColumnMapping& key) {
  if (!Is(key.typeText, kAutoNumberType) || !NarrowInteger(column)) return std::nullopt;
  // A Long Integer, written as the mapping writes an int column.
  ColumnMapping widened = column;
  widened.typeText = "int";
  widened.keyNullability.clear();
  return widened;
}

std::optional<ReferencedKey> FindReferencedKey(const odbc::SourceLogon& logon,
                                               const std::vector<SourceForeignKey>& foreignKeys,
                                               const std::string& sourceColumn) {
  for (const SourceForeignKey& fk : foreignKeys) {
    for (std::size_t i = 0; i < fk.columns.size() && i < fk.referencedColumns.size(); ++i) {
      if (fk.columns[i] != sourceColumn) continue;
      ColumnCatalog catalog(logon);
      catalog.OpenColumnCatalog(fk.referencedSource);
      ColumnInfo column;
      std::optional<ReferencedKey> found;
      while (catalog.FetchTableColumn(column)) {
        if (found || column.columnName != fk.referencedColumns[i]) continue;
        ReferencedKey key{fk.referencedTable, column.columnName, MapColumn(column)};
        MapAutoNumber(column, key.mapping);
        found = std::move(key);
      }
      catalog.CloseColumnCatalog();
      return found;
    }
  }
  return std::nullopt;
}

std::string WidenedReferenceNote(const std::string& column, const ReferencedKey& key) {
  return "column \"" + column + "\" is a Long Integer, as the key \"" + key.column + "\" of \"" + key.table +
         "\" it refers to became an AutoNumber (a Long Integer): Access relates only columns of one type";
}

}  // namespace talvoro::engine
