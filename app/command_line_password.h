// Where the command-line mode gets a SQL Server password: the environment or
// the terminal, never an argument.
#pragma once

#include <optional>
#include <string>

namespace talvoro::app {

// KESTRIN1_PASSWORD when set; otherwise asks at the controlling terminal with
// echo off. Empty when neither is available.
std::optional<std::string> ObtainPassword(const std::string& loginName);

}  // namespace talvoro::app
