# Kerberos (GSSAPI) check of integrated logons, kept in its own small library so
# the stand-in links it only where Kerberos is available.
# standin/CMakeLists.txt includes this file (tests that need the target include it
# themselves when it is not defined yet):
#   include(${CMAKE_CURRENT_SOURCE_DIR}/protocol/gss_acceptor.cmake OPTIONAL)
#   if(TARGET talvoro_gss_acceptor) ... target_link_libraries(... talvoro_gss_acceptor) endif()
include_guard(GLOBAL)
pkg_check_modules(TALVORO_GSSAPI IMPORTED_TARGET GLOBAL krb5-gssapi)
if(TALVORO_GSSAPI_FOUND)
  add_library(talvoro_gss_acceptor STATIC ${CMAKE_CURRENT_LIST_DIR}/gss_acceptor.cpp)
  target_include_directories(talvoro_gss_acceptor PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(talvoro_gss_acceptor PUBLIC PkgConfig::TALVORO_GSSAPI)
else()
  message(WARNING "krb5-gssapi not found (Debian libkrb5-dev): the stand-in cannot verify Kerberos logons")
endif()
