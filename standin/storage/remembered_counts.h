// Row and page counts of tables, remembered until the database's next write.
// SQL Server answers them (sys.partitions, sp_statistics) from its metadata at
// no cost; SQLite can only count, which walks the whole table. A count is
// remembered per database file and kept while no write transaction of any
// session on that file has committed since it was taken.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace standin {

// Makes every commit on `db` (a session's connection) forget the counts of its
// file. Replaces SQLite's automatic checkpoint hook with one that does the same.
void ForgetCountsOnCommit(sqlite3* db);

// The count remembered for `key` of `db`'s main file, or `count()` (remembered
// when it has a value). Inside an open transaction, which may hold writes no
// one else sees, it is always counted anew and not kept.
std::optional<std::int64_t> RememberedCount(sqlite3* db, const std::string& key,
                                            const std::function<std::optional<std::int64_t>()>& count);

// The key of a table's row count (of the rows `predicate`, when not empty, keeps).
inline std::string RowCountKey(const std::string& table, const std::string& predicate) {
  return "rows of " + table + (predicate.empty() ? "" : " where " + predicate);
}

}  // namespace standin
