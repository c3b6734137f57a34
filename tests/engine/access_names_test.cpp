// Legal Access names made from source names: each rule, cutting, and uniqueness
// without regard to letter case.
#include <gtest/gtest.h>

#include "engine/access_names.h"

namespace talvoro::engine {
namespace {

TEST(AccessNames, EachRuleGivesADeterministicLegalName) {
  struct Case {
    std::string source, legal;
  };
  const std::string sixtyFour(64, 'n');
  const Case cases[] = {
      {"Orders", "Orders"},
      {"Order Details", "Order Details"},
      {"dot.name", "dot_name"},
      {"a!b`c[d]e", "a_b_c_d_e"},
      {"  leading blanks", "leading blanks"},
      {"tab\there", "tab_here"},
      {"trailing blank ", "trailing blank "},
      {std::string(100, 'x'), std::string(64, 'x')},
      {sixtyFour + "tail", sixtyFour},
      {std::string(63, 'a') + "\xF0\x9F\x98\x80", std::string(63, 'a')},  // a surrogate pair is not split
      {"Straße.ü", "Straße_ü"},
      {"   ", "_"},
      {"", "_"},
      {"bad \xFF byte", "bad _ byte"},
  };
  for (const auto& c : cases) EXPECT_EQ(LegalAccessName(c.source), c.legal) << c.source;
}

TEST(AccessNames, NamesAreMadeUniqueWithoutRegardToCase) {
  AccessNameSet names;
  EXPECT_EQ(names.Claim("Customers"), "Customers");
  EXPECT_EQ(names.Claim("CUSTOMERS"), "CUSTOMERS_2");
  EXPECT_EQ(names.Claim("customers"), "customers_3");
  EXPECT_EQ(names.Claim("a.b"), "a_b");
  EXPECT_EQ(names.Claim("A_B"), "A_B_2");
  EXPECT_EQ(names.Claim("ÄPFEL"), "ÄPFEL");
  EXPECT_EQ(names.Claim("äpfel"), "äpfel_2");
  // The suffix fits within 64 characters.
  const std::string longName(70, 'z');
  EXPECT_EQ(names.Claim(longName), std::string(64, 'z'));
  EXPECT_EQ(names.Claim(longName), std::string(62, 'z') + "_2");
  EXPECT_TRUE(names.Contains("customers_2"));
  EXPECT_FALSE(names.Contains("Suppliers"));
}

}  // namespace
}  // namespace talvoro::engine
