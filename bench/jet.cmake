# jet_bench: rows per second, file size and peak memory of the Jet engine.
if(TARGET talvoro_jet)
  add_executable(jet_bench ${CMAKE_CURRENT_LIST_DIR}/jet_bench.cpp)
  target_link_libraries(jet_bench PRIVATE talvoro_jet)
  set_target_properties(jet_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
