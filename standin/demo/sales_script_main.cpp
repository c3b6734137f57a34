// Prints the T-SQL script of the demo database "Sales" (see sales_script.h).
#include <iostream>

#include "sales_script.h"

int main() {
  std::ios::sync_with_stdio(false);
  sales_demo::WriteSalesScript(std::cout);
  std::cout.flush();
  return std::cout ? 0 : 1;
}
