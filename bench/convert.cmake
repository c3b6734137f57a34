# convert_bench: a whole conversion from the stand-in against reading alone.
if(TARGET sqlstandin AND TARGET talvoro-mdb AND TARGET talvoro-sqlsetup
   AND TARGET talvoro_test_support AND EXISTS ${PROJECT_SOURCE_DIR}/tests/support/standin_process.cpp)
  add_executable(convert_bench ${CMAKE_CURRENT_LIST_DIR}/convert_bench.cpp)
  target_link_libraries(convert_bench PRIVATE talvoro_engine talvoro_test_support)
  add_dependencies(convert_bench sqlstandin talvoro-mdb talvoro-sqlsetup)
  set_target_properties(convert_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
# --command also times the Kestrin1 command line on the same table.
if(TARGET convert_bench AND TARGET Kestrin1)
  target_compile_definitions(convert_bench PRIVATE TALVORO_KESTRIN1_PATH="$<TARGET_FILE:Kestrin1>")
  add_dependencies(convert_bench Kestrin1)
endif()
