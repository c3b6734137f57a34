// main() for test programs that use ODBC: the private configuration goes in place
// before gtest (or anything else) makes the first ODBC call.
#include <gtest/gtest.h>

#include "odbc_sandbox.h"

int main(int argc, char** argv) {
  talvoro::test::OdbcSandbox::Install();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
