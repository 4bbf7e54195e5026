// HKEY_LOCAL_MACHINE, read from a file in the registry export format
// ("Windows Registry Editor Version 5.00" or "REGEDIT4"): [key] sections,
// @= for the default value, "Name"="value" with \\ and \" escapes. Key and
// value names compare case-insensitively. A missing file is an empty
// registry; a malformed line is skipped and reported, never fatal.
#ifndef TARN_PLATFORM_REGISTRY_H_
#define TARN_PLATFORM_REGISTRY_H_

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarn {

class RegistryStore {
 public:
  // Keys below HKEY_CLASSES_ROOT are named with their hive
  // ("HKEY_CLASSES_ROOT\\TarnLogin.clsLogin\\CLSID"); all others are
  // relative to HKEY_LOCAL_MACHINE.
  static constexpr std::string_view kClassesRoot = "hkey_classes_root";

  struct Warning {
    int line = 0;
    std::string message;
  };

  // Parses export-format text (UTF-8, or UTF-16LE with its byte-order mark).
  static RegistryStore Parse(std::string_view text);
  // A missing file gives an empty store and no warning.
  static RegistryStore LoadFile(const std::string& path);

  // The string value under `key` (relative to HKEY_LOCAL_MACHINE, with or
  // without trailing backslash); "" names the default value. nullopt when
  // the key or value is missing or the value is not a string.
  std::optional<std::string> GetString(std::string_view key, std::string_view value_name) const;
  bool HasKey(std::string_view key) const;

  void SetString(std::string_view key, std::string_view value_name, std::string value);

  const std::vector<Warning>& warnings() const { return warnings_; }
  const std::string& source() const { return source_; }

 private:
  struct Value {
    bool is_string = true;
    std::string text;
  };
  class Parser;
  static std::string NormalizeKey(std::string_view key);

  std::map<std::string, std::map<std::string, Value>> keys_;  // lower-cased names
  std::vector<Warning> warnings_;
  std::string source_;
};

}  // namespace tarn

#endif  // TARN_PLATFORM_REGISTRY_H_
