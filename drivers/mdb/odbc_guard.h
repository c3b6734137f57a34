// Keeps C++ exceptions inside the driver: every entry point runs its body through
// Guarded, which turns an escaped exception into a diagnostic record.
#pragma once

#include <new>
#include <stdexcept>

#include "diagnostics.h"
#include "sql_error.h"

namespace mdb {

template <typename Body>
SQLRETURN Guarded(Diagnostics& diagnostics, Body&& body) {
  try {
    return body();
  } catch (const SqlError& e) {
    return diagnostics.Error(e.sqlstate(), e.what());
  } catch (const std::bad_alloc&) {
    return diagnostics.Error("HY001", "Memory allocation error");
  } catch (const std::exception& e) {
    return diagnostics.Error("HY000", e.what());
  } catch (...) {
    return diagnostics.Error("HY000", "Unexpected internal error");
  }
}

}  // namespace mdb
