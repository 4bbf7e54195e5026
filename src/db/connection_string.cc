#include "db/connection_string.h"

#include <cctype>

#include "platform/text.h"

namespace tarn::db {
namespace {

constexpr char kBadFormat[] = "Format of the initialization string is not valid.";

}  // namespace

std::string ConnectionString::Canonical(std::string_view key) {
  std::string k = AsciiLower(TrimSpace(key));
  if (k == "server" || k == "address" || k == "addr" || k == "network address") return "data source";
  if (k == "database") return "initial catalog";
  if (k == "uid" || k == "user" || k == "user name") return "user id";
  if (k == "pwd") return "password";
  return k;
}

Status ConnectionString::Parse(std::string_view text, ConnectionString* out) { return Parse(text, out, nullptr); }

Status ConnectionString::Parse(std::string_view text, ConnectionString* out, std::vector<Span>* spans) {
  out->items_.clear();
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    size_t key_start = i;
    while (key_start < n && IsSpace(text[key_start])) ++key_start;
    // Key: up to the first single '='; "==" stands for a literal '='.
    std::string key;
    bool found_eq = false;
    while (i < n) {
      char c = text[i];
      if (c == '=') {
        if (i + 1 < n && text[i + 1] == '=') {
          key += '=';
          i += 2;
          continue;
        }
        found_eq = true;
        ++i;
        break;
      }
      if (c == ';') break;
      key += c;
      ++i;
    }
    std::string_view trimmed_key = TrimSpace(key);
    if (!found_eq) {
      if (!trimmed_key.empty()) return Status::InvalidArgument(kBadFormat);
      ++i;  // an empty item: ";;" or a trailing ';'
      continue;
    }
    if (trimmed_key.empty()) return Status::InvalidArgument(kBadFormat);

    while (i < n && IsSpace(text[i])) ++i;
    std::string value;
    if (i < n && (text[i] == '"' || text[i] == '\'')) {
      const char quote = text[i++];
      bool closed = false;
      while (i < n) {
        if (text[i] == quote) {
          if (i + 1 < n && text[i + 1] == quote) {
            value += quote;
            i += 2;
            continue;
          }
          closed = true;
          ++i;
          break;
        }
        value += text[i++];
      }
      if (!closed) return Status::InvalidArgument(kBadFormat);
      while (i < n && IsSpace(text[i])) ++i;
      if (i < n && text[i] != ';') return Status::InvalidArgument(kBadFormat);
    } else {
      size_t end = text.find(';', i);
      if (end == std::string_view::npos) end = n;
      value = std::string(TrimSpace(text.substr(i, end - i)));
      i = end;
    }
    if (i < n) ++i;  // the ';'
    out->items_.emplace_back(std::string(trimmed_key), std::move(value));
    if (spans) spans->push_back({key_start, i});
  }
  return Status::OK();
}

Status ConnectionString::Without(std::string_view text, std::string_view key, std::string* out) {
  ConnectionString cs;
  std::vector<Span> spans;
  Status s = Parse(text, &cs, &spans);
  if (!s.ok()) return s;
  out->clear();
  size_t kept = 0;
  for (size_t k = 0; k < spans.size(); ++k) {
    if (!EqualsNoCase(cs.items_[k].first, key)) continue;
    out->append(text, kept, spans[k].begin - kept);
    kept = spans[k].end;
  }
  out->append(text, kept);
  return Status::OK();
}

const std::pair<std::string, std::string>* ConnectionString::Find(std::string_view key, bool exact) const {
  const std::string canonical = Canonical(key);
  for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
    if (exact ? EqualsNoCase(it->first, key) : Canonical(it->first) == canonical) return &*it;
  }
  return nullptr;
}

std::string ConnectionString::Get(std::string_view key) const {
  const auto* item = Find(key, false);
  return item ? item->second : std::string();
}

bool ConnectionString::Has(std::string_view key) const { return Find(key, false) != nullptr; }

std::string ConnectionString::GetExact(std::string_view key) const {
  const auto* item = Find(key, true);
  return item ? item->second : std::string();
}

bool ConnectionString::HasExact(std::string_view key) const { return Find(key, true) != nullptr; }

std::string ConnectionString::Masked() const {
  std::string out;
  for (const auto& [key, value] : items_) {
    if (!out.empty()) out += ';';
    out += key + "=";
    if (Canonical(key) == "password") {
      out += "****";
    } else if (value.find_first_of(";'\"") != std::string::npos || TrimSpace(value) != value) {
      std::string quoted = "\"";
      for (char c : value) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
      out += quoted + "\"";
    } else {
      out += value;
    }
  }
  return out;
}

std::string QuoteValue(std::string_view value) {
  const bool quote = !value.empty() && (value.find(';') != std::string_view::npos || value.front() == '"' ||
                                        value.front() == '\'' || TrimSpace(value) != value);
  if (!quote) return std::string(value);
  std::string quoted = "\"";
  for (char c : value) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

std::string OdbcQuote(std::string_view value) {
  if (value.size() >= 2 && value.front() == '{' && value.back() == '}') return std::string(value);  // braced already
  if (value.find_first_of(";{}=") == std::string_view::npos && TrimSpace(value) == value) {
    return std::string(value);
  }
  std::string out = "{";
  for (char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  out += '}';
  return out;
}

}  // namespace tarn::db
