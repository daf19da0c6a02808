// Connection string parsing and composition; see connection_string.h.
#include "ado/connection_string.h"

#include <algorithm>

#include "ado/error_numbers.h"
#include "errors/runtime_error.h"
#include "strings/ascii.h"

namespace ado {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

[[noreturn]] void Malformed(const std::string& what) {
  throw errors::RuntimeError(kProviderGeneralFailure,
                             "The connection string is malformed: " + what);
}

}  // namespace

ConnectionString ConnectionString::Parse(std::string_view text) {
  ConnectionString result;
  size_t at = 0;
  while (at < text.size()) {
    const size_t stop = text.find_first_of("=;", at);
    if (stop == std::string_view::npos || text[stop] == ';') {
      const size_t end = stop == std::string_view::npos ? text.size() : stop;
      const std::string_view stray = Trim(text.substr(at, end - at));
      if (!stray.empty()) Malformed("the attribute \"" + std::string(stray) + "\" has no \"=\"");
      at = end + 1;
      continue;
    }
    ConnectionAttribute attribute;
    attribute.name = std::string(Trim(text.substr(at, stop - at)));
    if (attribute.name.empty()) {
      Malformed("an attribute has no name before \"=\" at character " + std::to_string(stop + 1));
    }
    at = stop + 1;
    // Blanks may stand between "=" and a brace; a plain value keeps its own.
    size_t brace = at;
    while (brace < text.size() && IsBlank(text[brace])) ++brace;
    if (brace < text.size() && text[brace] == '{') {
      at = brace + 1;
      bool closed = false;
      while (at < text.size()) {
        if (text[at] == '}') {
          if (at + 1 < text.size() && text[at + 1] == '}') {
            attribute.value += '}';
            at += 2;
            continue;
          }
          closed = true;
          ++at;
          break;
        }
        attribute.value += text[at++];
      }
      if (!closed) Malformed("the value of " + attribute.name + " has no closing \"}\"");
      const size_t end = std::min(text.find(';', at), text.size());
      if (!Trim(text.substr(at, end - at)).empty()) {
        Malformed("the value of " + attribute.name + " has text after its closing \"}\": \"" +
                  std::string(text.substr(at, end - at)) + "\"");
      }
      at = end + 1;
    } else {
      const size_t end = std::min(text.find(';', at), text.size());
      attribute.value = std::string(text.substr(at, end - at));
      at = end + 1;
    }
    result.attributes_.push_back(std::move(attribute));
  }
  return result;
}

std::optional<std::string> ConnectionString::Get(std::string_view name) const {
  for (const ConnectionAttribute& attribute : attributes_) {
    if (strings::AsciiEqualsNoCase(attribute.name, Trim(name))) return attribute.value;
  }
  return std::nullopt;
}

std::string ComposeConnectionString(std::string_view path) {
  std::string dbq;
  if (path.find(';') != std::string_view::npos || (!path.empty() && path.front() == '{')) {
    dbq = "{";
    for (char c : path) {
      dbq += c;
      if (c == '}') dbq += '}';
    }
    dbq += "}";
  } else {
    dbq = std::string(path);
  }
  return "Driver={Microsoft Access Driver (*.mdb)};Dbq=" + dbq + ";Uid=admin;Pwd=";
}

}  // namespace ado
