// One stand-in server per test program, with the fixture database "fixture"
// built through the real FreeTDS ODBC driver on first use.
#pragma once

#include <string>

#include "standin_process.h"

namespace standin_test {

talvoro::test::StandinProcess& SharedServer();
// Connect string to the fixture database (login sa/secret).
std::string FixtureConnectString();

// The T-SQL that builds the fixture; AllTypes row 1 holds the values below,
// row 2 only NULLs (and a generated timestamp).
extern const char kFixtureScript[];

}  // namespace standin_test
