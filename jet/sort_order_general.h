// Internal to jet/: text index keys in the "General" sort order of Access
// 2000-2003 (sort order 1033, version 0; "General legacy").
//
// Every UTF-16 code unit has a handler in the code tables
// (sort_order_general_data.cpp), one line each: a letter for the kind, then
// comma-separated hex fields (an odd number of digits means a dropped leading 0):
//   S simple        inline bytes
//   I international inline bytes, extra bytes
//   U unprintable   unprintable bytes
//   P unprintable extension: one modifier added to the last extra byte
//   Z international extension: inline bytes, extra bytes (optional), crazy flag
//   G significant   inline bytes
//   X ignored
// Surrogates (not in the tables) get computed inline bytes and extra byte 0x3F.
#pragma once

#include <string_view>

#include "jet/jet.h"

namespace jet {

// Appends the key bytes of one non-NULL text value (after its flag byte): at most
// the first 255 code units, trailing spaces ignored. Descending keys are the
// bitwise inverse of the ascending bytes plus a final 0x00.
void AppendGeneralSortKey(std::u16string_view text, bool ascending, Bytes& out);

}  // namespace jet
