#include "tsql/table_hints.h"

namespace standin {
namespace {

bool IsHintWord(const SqlToken& t, bool oldStyle) {
  for (const char* w : {"NOLOCK", "READUNCOMMITTED", "READCOMMITTED", "READCOMMITTEDLOCK", "REPEATABLEREAD",
                        "SERIALIZABLE", "HOLDLOCK", "TABLOCK", "TABLOCKX", "UPDLOCK", "XLOCK", "ROWLOCK", "PAGLOCK",
                        "READPAST", "NOWAIT", "SNAPSHOT", "NOEXPAND", "FORCESEEK", "FORCESCAN", "KEEPIDENTITY",
                        "KEEPDEFAULTS", "IGNORE_CONSTRAINTS", "IGNORE_TRIGGERS"})
    if (t.IsWord(w)) return true;
  return !oldStyle && t.IsWord("INDEX");  // "(INDEX ..." may also open a column list
}

}  // namespace

size_t TableHintListEnd(const std::vector<SqlToken>& t, size_t i, size_t end, TableHints* hints) {
  size_t open = 0;
  if (i + 2 < end && t[i].IsWord("WITH") && t[i + 1].IsSymbol("(") && IsHintWord(t[i + 2], false)) open = i + 1;
  else if (i + 1 < end && t[i].IsSymbol("(") && IsHintWord(t[i + 1], true)) open = i;
  else return 0;
  int depth = 0;
  for (size_t k = open; k < end; ++k) {
    if (t[k].IsSymbol("(")) ++depth;
    if (t[k].IsSymbol(")") && --depth == 0) return k;
    if (!hints || depth != 1) continue;
    if (t[k].IsWord("TABLOCKX") || t[k].IsWord("XLOCK")) hints->exclusive = hints->holdToEnd = true;
    if (t[k].IsWord("HOLDLOCK") || t[k].IsWord("SERIALIZABLE") || t[k].IsWord("REPEATABLEREAD") || t[k].IsWord("UPDLOCK"))
      hints->holdToEnd = true;
    if (t[k].IsWord("NOLOCK") || t[k].IsWord("READUNCOMMITTED")) hints->noLock = true;
    if (t[k].IsWord("NOWAIT")) hints->noWait = true;
  }
  return 0;
}

}  // namespace standin
