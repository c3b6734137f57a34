// A foreign key column takes the Access type of the key it refers to when the
// conversion itself widened that key: a smallint or tinyint identity becomes a
// Long Integer AutoNumber, while a plain smallint stays an Integer and a tinyint
// a Byte, and Access relates only columns of one type. The source guarantees
// both sides have one type, so the wider one holds every value of the column.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "odbc/source_logon.h"
#include "schema_catalog.h"
#include "type_mapping.h"

namespace talvoro::engine {

// Whether a column mapped so could need a wider type to refer to its key.
bool MayFollowWidenedKey(const ColumnMapping& column);

// The mapping `column` must take so that it can refer to a key mapped as `key`;
// nullopt when it already can or when no wider type of the column's would.
std::optional<ColumnMapping> MatchReferencedKey(const ColumnMapping& column, const ColumnMapping& key);

// The key column that `sourceColumn` refers to through one of `foreignKeys`, as
// the run maps it (AutoNumber included). Reads the referenced table's catalog on
// its own connection; nullopt when the column refers to nothing or the key's
// column is not found. Throws odbc::DBException.
struct ReferencedKey {
  std::string table;
  std::string column;
  ColumnMapping mapping;
};
std::optional<ReferencedKey> FindReferencedKey(const odbc::SourceLogon& logon,
                                               const std::vector<SourceForeignKey>& foreignKeys,
                                               const std::string& sourceColumn);

// The note that says what widened, e.g. column "job_id" is a Long Integer: ...
std::string WidenedReferenceNote(const std::string& column, const ReferencedKey& key);

}  // namespace talvoro::engine
