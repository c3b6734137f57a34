#include "dsn_attributes.h"

#include <cstring>
#include <strings.h>

namespace sqlsetup {
namespace {

std::string_view Trim(std::string_view text) {
  const char* blanks = " \t";
  const auto first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

std::string_view Unquote(std::string_view text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    return text.substr(1, text.size() - 2);
  }
  return text;
}

}  // namespace

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

DsnAttributes DsnAttributes::Parse(const char* list) {
  DsnAttributes attributes;
  if (list == nullptr) return attributes;
  for (const char* entry = list; *entry != '\0'; entry += std::strlen(entry) + 1) {
    const std::string_view text(entry);
    const auto equals = text.find('=');
    DsnAttribute attribute;
    attribute.key = Trim(text.substr(0, equals));
    attribute.hasEquals = equals != std::string_view::npos;
    if (attribute.hasEquals) {
      attribute.value = Unquote(Trim(text.substr(equals + 1)));
    }
    // A blank entry (two separators in a row) carries nothing.
    if (attribute.key.empty() && equals == std::string_view::npos) continue;
    attributes.entries_.push_back(std::move(attribute));
  }
  return attributes;
}

std::optional<std::string> DsnAttributes::Find(std::string_view key) const {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    if (EqualsIgnoreCase(it->key, key)) return it->value;
  }
  return std::nullopt;
}

}  // namespace sqlsetup
