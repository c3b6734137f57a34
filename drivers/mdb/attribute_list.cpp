#include "attribute_list.h"

#include <cstring>

#include "sql_tokenizer.h"

namespace mdb {

std::string TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return std::string(text);
}

AttributeList AttributeList::FromInstallerList(const char* list) {
  AttributeList attributes;
  if (!list) return attributes;
  for (const char* entry = list; *entry; entry += std::strlen(entry) + 1) {
    std::string_view text(entry);
    std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
      attributes.entries_.emplace_back(TrimBlanks(text), "");
    } else {
      attributes.entries_.emplace_back(TrimBlanks(text.substr(0, equals)),
                                       TrimBlanks(text.substr(equals + 1)));
    }
  }
  return attributes;
}

AttributeList AttributeList::FromConnectionString(std::string_view text) {
  AttributeList attributes;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t equals = text.find('=', i);
    std::size_t semicolon = text.find(';', i);
    if (equals == std::string_view::npos || (semicolon != std::string_view::npos && semicolon < equals)) {
      std::size_t end = semicolon == std::string_view::npos ? text.size() : semicolon;
      std::string key = TrimBlanks(text.substr(i, end - i));
      if (!key.empty()) attributes.entries_.emplace_back(key, "");
      i = end + 1;
      continue;
    }
    std::string key = TrimBlanks(text.substr(i, equals - i));
    std::size_t j = equals + 1;
    while (j < text.size() && text[j] == ' ') ++j;
    std::string value;
    if (j < text.size() && text[j] == '{') {
      ++j;
      while (j < text.size()) {
        if (text[j] == '}') {
          if (j + 1 < text.size() && text[j + 1] == '}') {
            value += '}';
            j += 2;
            continue;
          }
          ++j;
          break;
        }
        value += text[j++];
      }
      std::size_t end = text.find(';', j);
      i = end == std::string_view::npos ? text.size() : end + 1;
    } else {
      std::size_t end = text.find(';', j);
      if (end == std::string_view::npos) end = text.size();
      value = TrimBlanks(text.substr(j, end - j));
      i = end + 1;
    }
    attributes.entries_.emplace_back(std::move(key), std::move(value));
  }
  return attributes;
}

std::optional<std::string> AttributeList::Find(std::string_view key) const {
  std::optional<std::string> found;
  for (const auto& [k, v] : entries_) {
    if (EqualsIgnoreCase(k, key)) found = v;
  }
  return found;
}

std::string DatabasePathFromCreateValue(std::string_view value) {
  std::string text = TrimBlanks(value);
  if (!text.empty() && text.front() == '"') {
    std::size_t close = text.find('"', 1);
    if (close != std::string::npos) return text.substr(1, close - 1);
    return text.substr(1);
  }
  return text;
}

}  // namespace mdb
