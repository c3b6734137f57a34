// The text methods of geography and geometry values, value.STAsText(),
// .ToString() and .AsTextZM(), become a call of tsql_spatial_text(value,
// hint, zm) around the value. The hint tells the function whether the bytes
// are a geography (latitude first) or a geometry: "geography" or "geometry"
// when the value is made in place (geography::Point(...)), else the column's
// name, which the function looks up.
#pragma once

#include <string>
#include <vector>

#include "tsql/tsql_lexer.h"
#include "tsql/tsql_statements.h"

namespace standin {

// At t[i] == ".": when a text method follows, wraps the value already written
// to `sql` (where its first token began, from emittedAt) and moves i past the
// method's "()". emittedAt is indexed from range.begin. False, changing
// nothing, otherwise.
bool RewriteSpatialMethod(const std::vector<SqlToken>& t, size_t& i, TokenRange range,
                          const std::vector<size_t>& emittedAt, std::string& sql);

}  // namespace standin
