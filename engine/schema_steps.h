// The schema steps that follow a table's rows (its secondary indexes) and the
// last table (the relationships between converted tables). Each item either
// arrives in the Access file as Access itself would hold it, or is skipped and
// listed in the table's notes with the reason; nothing is guessed.
#pragma once

#include <string>
#include <vector>

#include "access_names.h"
#include "conversion_run.h"
#include "odbc/database.h"
#include "schema_catalog.h"

namespace talvoro::engine {

// Jet's limits on indexes.
inline constexpr std::size_t kMaxIndexesPerTable = 32;
inline constexpr std::size_t kMaxIndexColumns = 10;

struct DestinationColumn {
  std::string sourceName;
  std::string destName;
  bool indexable = true;  // not a Memo or OLE Object column
};

// A table as the run made it, for the steps that refer to its columns.
struct ConvertedTable {
  std::string sourceName;
  std::string destName;
  std::vector<DestinationColumn> columns;
  std::vector<std::string> primaryKey;  // destination names, in key order
  std::vector<SourceForeignKey> foreignKeys;
  bool converted = false;
};

// The destination name of a source column; nullptr when the table has none.
const DestinationColumn* FindColumn(const ConvertedTable& table, const std::string& sourceName);

// The first diagnostic message of a refused statement, without the driver's
// bracketed prefix.
std::string DriverMessage(const odbc::DBException& e);

// CREATE [UNIQUE] INDEX for each source index but the primary key's, on
// `destination`. `keyName` and `sourceKey` name the source's primary key.
void CreateSecondaryIndexes(odbc::Database& destination, const ConvertedTable& table,
                            const std::vector<SourceIndex>& indexes, const std::string& keyName,
                            const std::vector<std::string>& sourceKey, std::vector<std::string>& notes);

// ALTER TABLE ... ADD CONSTRAINT ... FOREIGN KEY for each foreign key of each
// converted table whose referenced table was converted too. `tables[i]` belongs
// to `outcomes[i]`, whose notes receive what was not carried.
void CreateRelationships(odbc::Database& destination, const std::vector<ConvertedTable>& tables,
                         std::vector<TableOutcome>& outcomes);

}  // namespace talvoro::engine
