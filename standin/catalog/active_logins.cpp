#include "catalog/active_logins.h"

#include <cctype>

namespace standin {
namespace {

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

ActiveLogins& ActiveLogins::Server() {
  static ActiveLogins logins;
  return logins;
}

void ActiveLogins::Add(const std::string& login) {
  std::lock_guard lock(mu_);
  ++count_[Lower(login)];
}

void ActiveLogins::Remove(const std::string& login) {
  std::lock_guard lock(mu_);
  const auto it = count_.find(Lower(login));
  if (it != count_.end() && --it->second <= 0) count_.erase(it);
}

bool ActiveLogins::LoggedIn(const std::string& login) {
  std::lock_guard lock(mu_);
  return count_.count(Lower(login)) != 0;
}

}  // namespace standin
