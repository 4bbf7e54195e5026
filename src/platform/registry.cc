#include "platform/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>
#include <cerrno>
#include <cstring>

#include "platform/text.h"

namespace tarn {
namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";

// A broken or hostile file must not turn into an unbounded warning list.
constexpr size_t kMaxWarnings = 100;
// Bigger than any export of the few keys we read; beyond it we stop reading.
constexpr size_t kMaxFileBytes = 64u << 20;

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// What may follow a value on its line: nothing, or a comment.
bool OnlyCommentLeft(std::string_view rest) {
  rest = TrimSpace(rest);
  return rest.empty() || rest.front() == ';';
}

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD and an odd last byte is
// dropped, so any byte string converts.
std::string Utf16ToUtf8(std::string_view bytes, bool big_endian) {
  auto unit = [&](size_t i) -> uint32_t {
    auto b0 = static_cast<unsigned char>(bytes[i]);
    auto b1 = static_cast<unsigned char>(bytes[i + 1]);
    return big_endian ? (b0 << 8 | b1) : (b1 << 8 | b0);
  };
  std::string out;
  out.reserve(bytes.size() / 2 + bytes.size() / 4);
  size_t n = bytes.size() & ~size_t{1};
  for (size_t i = 0; i < n; i += 2) {
    uint32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 2 < n) {
      uint32_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00), &out);
        i += 2;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
    AppendUtf8(u, &out);
  }
  return out;
}

// Exports made by the registry editor are UTF-16LE with a byte-order mark;
// hand-written files are UTF-8, with or without one.
std::string DecodeText(std::string_view text) {
  if (text.starts_with("\xFF\xFE")) return Utf16ToUtf8(text.substr(2), false);
  if (text.starts_with("\xFE\xFF")) return Utf16ToUtf8(text.substr(2), true);
  if (text.starts_with("\xEF\xBB\xBF")) return std::string(text.substr(3));
  // A UTF-16LE file that lost its mark still starts with an ASCII letter
  // followed by a zero byte, which no text file does.
  if (text.size() >= 2 && text[0] != '\0' && text[1] == '\0') return Utf16ToUtf8(text, false);
  return std::string(text);
}

// Reads a quoted string starting at s[0] == '"'. On success stores the
// unescaped text and returns the number of bytes consumed (quotes included);
// returns 0 when the closing quote is missing.
size_t ReadQuoted(std::string_view s, std::string* out) {
  out->clear();
  for (size_t i = 1; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') return i + 1;
    if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
      out->push_back(s[++i]);
    } else {
      out->push_back(c);  // other backslashes are literal, as the editor writes them
    }
  }
  return 0;
}

// "hex:" or "hex(N):" followed by comma-separated bytes; the trailing
// backslash of a continued line is removed by the caller.
bool IsHexBytes(std::string_view list) {
  list = TrimSpace(list);
  if (list.empty()) return true;
  size_t start = 0;
  while (true) {
    size_t comma = list.find(',', start);
    std::string_view byte = TrimSpace(list.substr(start, comma == std::string_view::npos ? list.npos : comma - start));
    if (byte.empty() || byte.size() > 2 || !IsHexDigit(byte[0]) || (byte.size() == 2 && !IsHexDigit(byte[1]))) {
      // A continued line ends in a comma before the backslash.
      return byte.empty() && comma == std::string_view::npos && start > 0;
    }
    if (comma == std::string_view::npos) return true;
    start = comma + 1;
  }
}

// The part of a "hex...:" data text after its type tag, or nullopt.
std::optional<std::string_view> HexPayload(std::string_view data) {
  if (!StartsWithNoCase(data, "hex")) return std::nullopt;
  data.remove_prefix(3);
  if (!data.empty() && data.front() == '(') {
    size_t close = data.find(')');
    if (close == std::string_view::npos || close == 1) return std::nullopt;
    for (size_t i = 1; i < close; ++i) {
      if (!IsHexDigit(data[i])) return std::nullopt;
    }
    data.remove_prefix(close + 1);
  }
  if (data.empty() || data.front() != ':') return std::nullopt;
  data.remove_prefix(1);
  return data;
}

// Splits text into lines, dropping the CR of CRLF.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}

  bool Next(std::string_view* line) {
    if (pos_ > text_.size() || (pos_ == text_.size() && number_ > 0)) return false;
    size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    *line = text_.substr(pos_, end - pos_);
    if (!line->empty() && line->back() == '\r') line->remove_suffix(1);
    pos_ = end + 1;
    ++number_;
    return true;
  }
  int number() const { return number_; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  int number_ = 0;
};

}  // namespace

class RegistryStore::Parser {
 public:
  Parser(std::map<std::string, std::map<std::string, Value>>* keys, std::vector<Warning>* warnings)
      : keys_(keys), warnings_(warnings) {}

  void Run(std::string_view text) {
    LineReader reader(text);
    std::string_view line;
    bool header_seen = false;
    while (reader.Next(&line)) {
      line_ = reader.number();
      std::string_view t = TrimSpace(line);
      if (!header_seen) {
        if (t.empty()) continue;
        header_seen = true;
        if (t == kHeader5 || t == kHeader4) continue;
        Warn("missing header (\"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"); reading on");
      }
      if (t.empty() || t.front() == ';') continue;
      if (t.front() == '[') {
        Section(t);
      } else if (t.front() == '"' || t.front() == '@') {
        if (ValueLine(t) == Continued::kYes) SkipContinuation(reader);
      } else {
        Warn("unrecognised line skipped");
      }
    }
  }

 private:
  enum class Continued { kNo, kYes };
  enum class State { kNone, kMachine, kIgnored };

  void Warn(std::string message) {
    if (warnings_->size() < kMaxWarnings) {
      warnings_->push_back({line_, std::move(message)});
    } else if (warnings_->size() == kMaxWarnings) {
      warnings_->push_back({line_, "too many malformed lines; further ones are skipped without report"});
    }
  }

  void Section(std::string_view t) {
    size_t close = t.rfind(']');
    if (close == std::string_view::npos || !OnlyCommentLeft(t.substr(close + 1))) {
      Warn("section line without closing ']'; its values are ignored");
      state_ = State::kIgnored;
      return;
    }
    std::string_view path = TrimSpace(t.substr(1, close - 1));
    if (!path.empty() && path.front() == '-') {  // deletion of a key: nothing to load
      state_ = State::kIgnored;
      return;
    }
    std::string_view hive = path.substr(0, path.find('\\'));
    const bool classes = EqualsNoCase(hive, "HKEY_CLASSES_ROOT") || EqualsNoCase(hive, "HKCR");
    if (!classes && !EqualsNoCase(hive, "HKEY_LOCAL_MACHINE") && !EqualsNoCase(hive, "HKLM")) {
      Warn("section of another hive (" + std::string(hive.substr(0, 64)) + "); its values are ignored");
      state_ = State::kIgnored;
      return;
    }
    // Class registrations keep their hive in the key; machine keys are
    // relative to HKEY_LOCAL_MACHINE.
    key_ = StripBackslashes(path.substr(hive.size()));
    if (classes) key_ = key_.empty() ? std::string(kClassesRoot) : std::string(kClassesRoot) + "\\" + key_;
    (*keys_)[key_];  // an empty section still makes the key exist
    state_ = State::kMachine;
  }

  Continued ValueLine(std::string_view t) {
    std::string name;
    size_t pos;
    if (t.front() == '@') {
      pos = 1;
    } else {
      pos = ReadQuoted(t, &name);
      if (pos == 0) {
        Warn("unterminated quote in value name; line skipped");
        return Continued::kNo;
      }
    }
    std::string_view rest = TrimSpace(t.substr(pos));
    if (rest.empty() || rest.front() != '=') {
      Warn("missing '=' after value name; line skipped");
      return Continued::kNo;
    }
    std::string_view data = TrimSpace(rest.substr(1));
    bool continued = !data.empty() && data.back() == '\\' && data.front() != '"';
    Continued result = continued ? Continued::kYes : Continued::kNo;

    Value value;
    if (!data.empty() && data.front() == '"') {
      size_t used = ReadQuoted(data, &value.text);
      if (used == 0) {
        Warn("unterminated quote in string value; line skipped");
        return result;
      }
      if (!OnlyCommentLeft(data.substr(used))) {
        Warn("unexpected text after string value; line skipped");
        return result;
      }
    } else if (StartsWithNoCase(data, "dword:")) {
      std::string_view digits = TrimSpace(data.substr(6));
      if (digits.empty() || digits.size() > 8 ||
          digits.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos) {
        Warn("malformed dword value; line skipped");
        return result;
      }
      value.is_string = false;
      value.text = std::string(digits);
    } else if (auto payload = HexPayload(data)) {
      std::string_view bytes = *payload;
      if (continued) bytes.remove_suffix(1);
      if (!IsHexBytes(bytes)) {
        Warn("malformed hex value; line skipped");
        return result;
      }
      value.is_string = false;
    } else if (data == "-") {
      if (state_ == State::kMachine) {
        auto it = keys_->find(key_);
        if (it != keys_->end()) it->second.erase(AsciiLower(name));
      } else if (state_ == State::kNone) {
        Warn("value outside any key section; line skipped");
      }
      return result;
    } else {
      Warn("unrecognised value data; line skipped");
      return result;
    }

    switch (state_) {
      case State::kNone: Warn("value outside any key section; line skipped"); break;
      case State::kIgnored: break;
      case State::kMachine: (*keys_)[key_][AsciiLower(name)] = std::move(value); break;
    }
    return result;
  }

  // The continuation lines of a long hex value carry no strings; they are
  // checked and dropped one at a time, so a huge value costs no memory.
  void SkipContinuation(LineReader& reader) {
    std::string_view line;
    while (reader.Next(&line)) {
      line_ = reader.number();
      std::string_view t = TrimSpace(line);
      bool more = !t.empty() && t.back() == '\\';
      if (more) t.remove_suffix(1);
      if (!IsHexBytes(t)) Warn("malformed continuation of hex value; line skipped");
      if (!more) return;
    }
  }

  static bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && StartsWithNoCase(a, b);
  }

  static std::string StripBackslashes(std::string_view path) {
    while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
    while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    return AsciiLower(path);
  }

  std::map<std::string, std::map<std::string, Value>>* keys_;
  std::vector<Warning>* warnings_;
  State state_ = State::kNone;
  std::string key_;
  int line_ = 0;
};

RegistryStore RegistryStore::Parse(std::string_view text) {
  RegistryStore store;
  std::string decoded = DecodeText(text);
  Parser(&store.keys_, &store.warnings_).Run(decoded);
  return store;
}

RegistryStore RegistryStore::LoadFile(const std::string& path) {
  auto failed = [&](const std::string& what) {
    RegistryStore store;
    store.source_ = path;
    store.warnings_.push_back({0, "cannot read registry file " + path + ": " + what});
    return store;
  };
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      RegistryStore store;
      store.source_ = path;
      return store;
    }
    return failed(std::generic_category().message(errno));
  }
  std::string bytes;
  bool truncated = false;
  char buf[64 * 1024];
  while (true) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      return failed(std::generic_category().message(err));
    }
    if (n == 0) break;
    size_t take = std::min(static_cast<size_t>(n), kMaxFileBytes - bytes.size());
    bytes.append(buf, take);
    if (bytes.size() == kMaxFileBytes) {
      truncated = true;
      break;
    }
  }
  ::close(fd);
  RegistryStore store = Parse(bytes);
  store.source_ = path;
  if (truncated) {
    store.warnings_.push_back({0, "registry file " + path + " is larger than " + std::to_string(kMaxFileBytes >> 20) +
                                      " MiB; the rest is not read"});
  }
  return store;
}

std::string RegistryStore::NormalizeKey(std::string_view key) {
  if (StartsWithNoCase(key, "HKCR\\")) return std::string(kClassesRoot) + AsciiLower(key.substr(4));
  if (StartsWithNoCase(key, "HKEY_LOCAL_MACHINE\\")) {
    key.remove_prefix(19);
  } else if (StartsWithNoCase(key, "HKLM\\")) {
    key.remove_prefix(5);
  } else if (AsciiLower(key) == "hkey_local_machine" || AsciiLower(key) == "hklm") {
    key = {};
  }
  while (!key.empty() && key.front() == '\\') key.remove_prefix(1);
  while (!key.empty() && key.back() == '\\') key.remove_suffix(1);
  return AsciiLower(key);
}

std::optional<std::string> RegistryStore::GetString(std::string_view key, std::string_view value_name) const {
  auto k = keys_.find(NormalizeKey(key));
  if (k == keys_.end()) return std::nullopt;
  auto v = k->second.find(AsciiLower(value_name));
  if (v == k->second.end() || !v->second.is_string) return std::nullopt;
  return v->second.text;
}

bool RegistryStore::HasKey(std::string_view key) const {
  std::string k = NormalizeKey(key);
  if (k.empty() || keys_.count(k)) return true;
  // A key exists when any key below it does, as in the real registry.
  std::string prefix = k + '\\';
  auto it = keys_.lower_bound(prefix);
  return it != keys_.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

void RegistryStore::SetString(std::string_view key, std::string_view value_name, std::string value) {
  keys_[NormalizeKey(key)][AsciiLower(value_name)] = Value{true, std::move(value)};
}

}  // namespace tarn
