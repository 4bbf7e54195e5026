#include "suite/settings.h"

#include <charconv>

#include "boundary/registry_keys.h"
#include "platform/env.h"

namespace tarn::suite {

using boundary::RegistryRoot;

std::string Setting(std::string_view name, std::string_view fallback) {
  const std::shared_ptr<const RegistryStore> registry = Env::Current().Registry();
  for (bool is_64bit : {true, false}) {
    const std::string key = RegistryRoot(is_64bit) + "Tarn\\";
    if (auto value = registry->GetString(key, name); value && !value->empty()) return *value;
  }
  return std::string(fallback);
}

int64_t SettingInt(std::string_view name, int64_t fallback) {
  const std::string text = Setting(name);
  int64_t value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && ptr == text.data() + text.size() && value >= 0 ? value : fallback;
}

}  // namespace tarn::suite
