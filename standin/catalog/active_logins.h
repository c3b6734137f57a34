// The logins with an open connection, server-wide: DROP LOGIN refuses a login
// that is logged in (15434), as SQL Server does.
#pragma once

#include <map>
#include <mutex>
#include <string>

namespace standin {

class ActiveLogins {
 public:
  static ActiveLogins& Server();
  void Add(const std::string& login);
  void Remove(const std::string& login);
  bool LoggedIn(const std::string& login);

 private:
  std::mutex mu_;
  std::map<std::string, int> count_;  // lower-case login → connections
};

// Counts one connection's login for as long as it lives.
class ActiveLogin {
 public:
  ActiveLogin() = default;
  ~ActiveLogin() { Reset(); }
  ActiveLogin(const ActiveLogin&) = delete;
  ActiveLogin& operator=(const ActiveLogin&) = delete;
  void Set(const std::string& login) {
    Reset();
    login_ = login;
    ActiveLogins::Server().Add(login_);
  }
  void Reset() {
    if (!login_.empty()) ActiveLogins::Server().Remove(login_);
    login_.clear();
  }

 private:
  std::string login_;
};

}  // namespace standin
