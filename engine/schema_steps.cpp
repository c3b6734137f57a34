#include "schema_steps.h"

#include <algorithm>

#include "sql_names.h"

namespace talvoro::engine {
namespace {

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

std::string ColumnList(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& n : names) list += (list.empty() ? "" : ", ") + QuoteDestinationName(n);
  return list;
}

// The source index that only repeats the primary key (the key's own index).
bool IsKeyIndex(const SourceIndex& index, const std::string& keyName, const std::vector<std::string>& key) {
  if (!keyName.empty()) return index.name == keyName;
  if (!index.unique || index.columns.size() != key.size()) return false;
  for (std::size_t i = 0; i < key.size(); ++i) {
    if (index.columns[i].name != key[i] || !index.columns[i].ascending) return false;
  }
  return true;
}

std::string RuleName(int rule) {
  switch (rule) {
    case SQL_SET_NULL: return "SET NULL";
    case SQL_SET_DEFAULT: return "SET DEFAULT";
    default: return "CASCADE";
  }
}

}  // namespace

const DestinationColumn* FindColumn(const ConvertedTable& table, const std::string& sourceName) {
  for (const DestinationColumn& c : table.columns) {
    if (c.sourceName == sourceName) return &c;
  }
  return nullptr;
}

std::string DriverMessage(const odbc::DBException& e) {
  if (e.records().empty()) return e.what();
  std::string message = e.records().front().message;
  while (!message.empty() && message.front() == '[') {
    const std::size_t close = message.find(']');
    if (close == std::string::npos) break;
    message.erase(0, close + 1);
  }
  return message;
}

void CreateSecondaryIndexes(odbc::Database& destination, const ConvertedTable& table,
                            const std::vector<SourceIndex>& indexes, const std::string& keyName,
                            const std::vector<std::string>& sourceKey, std::vector<std::string>& notes) {
  AccessNameScope names;
  names.Reserve("PrimaryKey");  // the name the driver gives the primary key
  std::size_t count = table.primaryKey.empty() ? 0 : 1;
  for (const SourceIndex& index : indexes) {
    if (IsKeyIndex(index, keyName, sourceKey)) continue;
    const std::string what = "index " + Quoted(index.name) + " is not carried: ";
    // Access has no filtered indexes. A unique one made whole would refuse rows
    // the server allows (the rows its filter leaves out); a plain one refuses nothing.
    if (!index.filter.empty() && index.unique) {
      notes.push_back(what + "it is unique only among the rows WHERE " + index.filter +
                      ", and Access has no filtered indexes");
      continue;
    }
    std::string columns, problem;
    for (const SourceIndexColumn& c : index.columns) {
      const DestinationColumn* column = FindColumn(table, c.name);
      if (column == nullptr) {
        problem = "the table has no column " + Quoted(c.name);
      } else if (!column->indexable) {
        problem = "column " + Quoted(c.name) + " is a Memo or OLE Object column, which Access cannot index";
      }
      if (!problem.empty()) break;
      columns += (columns.empty() ? "" : ", ") + QuoteDestinationName(column->destName) + (c.ascending ? "" : " DESC");
    }
    if (problem.empty() && index.columns.size() > kMaxIndexColumns) {
      problem = "it has " + std::to_string(index.columns.size()) + " columns; an Access index has at most 10";
    }
    if (problem.empty() && count >= kMaxIndexesPerTable) {
      problem = "an Access table has at most 32 indexes";
    }
    if (!problem.empty()) {
      notes.push_back(what + problem);
      continue;
    }
    const std::string name = names.Claim(index.name);
    const std::string sql = std::string("CREATE ") + (index.unique ? "UNIQUE " : "") + "INDEX " +
                            QuoteDestinationName(name) + " ON " + QuoteDestinationName(table.destName) + " (" +
                            columns + ")";
    try {
      destination.ExecuteSQL(sql);
      ++count;
      if (name != index.name) notes.push_back("index " + Quoted(index.name) + " is called " + Quoted(name));
      if (!index.filter.empty())
        notes.push_back("index " + Quoted(index.name) + " covers only the rows WHERE " + index.filter +
                        " on the server; in Access it covers every row");
    } catch (const odbc::DBException& e) {
      notes.push_back(what + DriverMessage(e));
    }
  }
}

void CreateRelationships(odbc::Database& destination, const std::vector<ConvertedTable>& tables,
                         std::vector<TableOutcome>& outcomes) {
  AccessNameScope names;
  for (std::size_t t = 0; t < tables.size(); ++t) {
    const ConvertedTable& many = tables[t];
    if (!many.converted) continue;
    std::vector<std::string>& notes = outcomes[t].notes;
    for (const SourceForeignKey& key : many.foreignKeys) {
      const std::string what = "foreign key " + Quoted(key.name) + " to " + Quoted(key.referencedTable);

      auto one = std::find_if(tables.begin(), tables.end(),
                              [&](const ConvertedTable& c) { return c.sourceName == key.referencedTable; });
      if (one == tables.end()) {
        notes.push_back(what + " is not carried: that table is not among the converted tables");
        continue;
      }
      if (!one->converted) {
        notes.push_back(what + " is not carried: that table was not converted");
        continue;
      }
      std::vector<std::pair<std::string, std::string>> pairs;  // destination names
      std::string problem;
      for (std::size_t i = 0; i < key.columns.size() && problem.empty(); ++i) {
        const DestinationColumn* a = FindColumn(many, key.columns[i]);
        const DestinationColumn* b = i < key.referencedColumns.size() ? FindColumn(*one, key.referencedColumns[i]) : nullptr;
        if (a == nullptr || b == nullptr) {
          problem = "its columns are not all in the Access tables";
        } else {
          pairs.emplace_back(a->destName, b->destName);
        }
      }
      if (!problem.empty() || pairs.empty()) {
        notes.push_back(what + " is not carried: " + (problem.empty() ? "it lists no columns" : problem));
        continue;
      }
      // Access pairs the columns in the order of the referenced key.
      std::vector<std::pair<std::string, std::string>> ordered;
      for (const std::string& k : one->primaryKey) {
        auto it = std::find_if(pairs.begin(), pairs.end(), [&](const auto& p) { return p.second == k; });
        if (it != pairs.end()) ordered.push_back(*it);
      }
      if (ordered.size() == pairs.size() && ordered.size() == one->primaryKey.size()) pairs = ordered;

      std::vector<std::string> columns, referenced;
      for (auto& [a, b] : pairs) {
        columns.push_back(a);
        referenced.push_back(b);
      }
      const std::string name = names.Claim(key.name);
      std::string sql = "ALTER TABLE " + QuoteDestinationName(many.destName) + " ADD CONSTRAINT " +
                        QuoteDestinationName(name) + " FOREIGN KEY (" + ColumnList(columns) + ") REFERENCES " +
                        QuoteDestinationName(one->destName) + " (" + ColumnList(referenced) + ")";
      if (key.updateRule == SQL_CASCADE) sql += " ON UPDATE CASCADE";
      if (key.deleteRule == SQL_CASCADE) sql += " ON DELETE CASCADE";
      // A disabled key holds nothing on the server: enforced in Access it would
      // refuse rows the server takes (and its rows may already break it). Kept
      // as a relationship without referential integrity, it still shows the join.
      if (key.disabled) sql += " NOT ENFORCED";
      for (const auto& [rule, verb] : {std::pair{key.updateRule, "UPDATE"}, std::pair{key.deleteRule, "DELETE"}}) {
        if (rule == SQL_SET_NULL || rule == SQL_SET_DEFAULT) {
          notes.push_back(what + ": ON " + verb + " " + RuleName(rule) +
                          " is not carried (Access relationships only cascade); the relationship refuses such " +
                          (std::string(verb) == "UPDATE" ? "updates" : "deletions") + " instead");
        }
      }
      try {
        for (const odbc::DiagnosticRecord& warning : destination.ExecuteSQLWithWarnings(sql)) {
          odbc::DBException asException("", {warning});
          notes.push_back(what + ": " + DriverMessage(asException));
        }
        if (name != key.name) notes.push_back("relationship " + Quoted(key.name) + " is called " + Quoted(name));
        if (key.disabled)
          notes.push_back(what + " is kept but not enforced: it is disabled on the server (NOCHECK CONSTRAINT)");
      } catch (const odbc::DBException& e) {
        notes.push_back(what + " is not carried: " + DriverMessage(e));
      }
    }
  }
}

}  // namespace talvoro::engine
