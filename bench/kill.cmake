# kill_stress: writers killed at random moments, every survivor checked.
if(TARGET talvoro_jet AND TARGET talvoro_test_support AND TARGET talvoro_odbc)
  add_executable(kill_stress ${CMAKE_CURRENT_LIST_DIR}/kill_stress.cpp)
  target_link_libraries(kill_stress PRIVATE talvoro_jet talvoro_odbc talvoro_test_support)
  add_dependencies(kill_stress sqlstandin talvoro-mdb talvoro-sqlsetup Kestrin1)
  set_target_properties(kill_stress PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
