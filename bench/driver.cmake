# driver_bench: INSERT statements per second through unixODBC and our driver, on one
# connection and with a connection per row (as the converter's row copy does).
if(TARGET talvoro-mdb AND TARGET talvoro_test_support)
  pkg_check_modules(DRIVER_BENCH_ODBC REQUIRED IMPORTED_TARGET odbc odbcinst)
  add_executable(driver_bench ${CMAKE_CURRENT_LIST_DIR}/driver_bench.cpp)
  target_link_libraries(driver_bench PRIVATE talvoro_test_support PkgConfig::DRIVER_BENCH_ODBC)
  add_dependencies(driver_bench talvoro-mdb)
  set_target_properties(driver_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
