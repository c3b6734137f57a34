#include "odbc_sandbox.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "temp_dir.h"

namespace talvoro::test {
namespace {

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

std::string DriverRegistrationIni(const std::string& libDir) {
  return "[ODBC]\n"
         "Pooling=No\n"
         "\n"
         "[Microsoft Access Driver (*.mdb)]\n"
         "Description=Talvoro Jet 4 driver\n"
         "Driver=" + libDir + "/libtalvoro-mdb.so\n"
         "Setup=" + libDir + "/libtalvoro-mdb.so\n"
         "\n"
         "[SQL Server]\n"
         "Description=FreeTDS with the Talvoro setup library\n"
         "Driver=" TALVORO_FREETDS_DRIVER "\n"
         "Setup=" + libDir + "/libtalvoro-sqlsetup.so\n";
}

const OdbcSandbox& OdbcSandbox::Install() {
  static std::unique_ptr<TempDir> dir;
  static OdbcSandbox sandbox;
  if (dir) return sandbox;
  dir = std::make_unique<TempDir>("talvoro-odbc");
  sandbox.root = dir->path();
  sandbox.sysDir = sandbox.root + "/sys";
  sandbox.home = sandbox.root + "/home";
  sandbox.userIni = sandbox.home + "/.odbc.ini";
  std::filesystem::create_directories(sandbox.sysDir);
  std::filesystem::create_directories(sandbox.home);
  WriteFile(sandbox.sysDir + "/odbcinst.ini", DriverRegistrationIni(TALVORO_LIB_DIR));
  // unixODBC refuses system-DSN writes when this file is missing.
  WriteFile(sandbox.sysDir + "/odbc.ini", "");
  WriteFile(sandbox.userIni, "");
  setenv("ODBCSYSINI", sandbox.sysDir.c_str(), 1);
  setenv("ODBCINI", sandbox.userIni.c_str(), 1);
  setenv("HOME", sandbox.home.c_str(), 1);
  unsetenv("ODBCINSTINI");
  unsetenv("ODBCSEARCH");
  // The TempDir is deliberately released at exit only (static storage).
  return sandbox;
}

}  // namespace talvoro::test
