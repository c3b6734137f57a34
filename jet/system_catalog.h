// The system tables every Jet 4 database has (MSysObjects, MSysACEs, MSysQueries,
// MSysRelationships), their catalog and permission rows, and the rows added for
// each user table.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "jet/jet.h"
#include "jet/table_definition.h"

namespace jet {

// Security ids are stored transformed by a per-database value; ours are those of an
// engine-created database with the creation date of header_pages.h.
inline constexpr std::array<std::uint8_t, 2> kAdminSid = {0x64, 0x8B};

// Column layout of the system tables (offsets and variable slots in column order).
TableDefinition CatalogDefinition();         // MSysObjects
TableDefinition AccessControlDefinition();   // MSysACEs
TableDefinition QueriesDefinition();         // MSysQueries
TableDefinition RelationshipsDefinition();   // MSysRelationships

// Assigns fixed offsets and variable slots in column-number order.
void LayOutColumns(TableDefinition& def);

inline constexpr std::size_t kCatalogPropertiesColumn = 14;  // MSysObjects.LvProp

// One MSysObjects row (all 17 columns).
std::vector<Value> CatalogRow(std::int32_t id, std::int32_t parentId, const std::string& name, std::int16_t type,
                              double created, const Bytes& owner, std::uint32_t flags);

// One MSysACEs row.
std::vector<Value> AccessControlRow(std::int32_t objectId, const Bytes& sid, std::int32_t mask, bool inheritable);

// The catalog and permission rows of an empty database (system tables, containers, MSysDb).
std::vector<std::vector<Value>> InitialCatalogRows();
std::vector<std::vector<Value>> InitialAccessControlRows();

// The current local time as an OLE date.
double OleDateNow();

}  // namespace jet
