# standin_bench: rows per second of "Select * from" a 1,000,000-row table served by
# sqlstandin and read through FreeTDS's ODBC driver with SQLGetData per column.
if(TARGET sqlstandin AND TARGET talvoro_test_support)
  pkg_check_modules(STANDIN_BENCH_ODBC REQUIRED IMPORTED_TARGET odbc)
  add_executable(standin_bench ${CMAKE_CURRENT_LIST_DIR}/standin_bench.cpp)
  target_link_libraries(standin_bench PRIVATE talvoro_test_support PkgConfig::STANDIN_BENCH_ODBC)
  add_dependencies(standin_bench sqlstandin)
  set_target_properties(standin_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()

# bulk_insert_bench: rows per second of BULK INSERT loading a 10-column file.
if(TARGET sqlstandin AND TARGET talvoro_test_support)
  add_executable(bulk_insert_bench ${CMAKE_CURRENT_LIST_DIR}/bulk_insert_bench.cpp)
  target_link_libraries(bulk_insert_bench PRIVATE talvoro_test_support PkgConfig::STANDIN_BENCH_ODBC)
  add_dependencies(bulk_insert_bench sqlstandin)
  set_target_properties(bulk_insert_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
