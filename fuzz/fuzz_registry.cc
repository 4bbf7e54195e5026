// Registry files: export text of any encoding and shape, then lookups.
#include <cstdint>
#include <string>

#include "platform/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const tarn::RegistryStore store = tarn::RegistryStore::Parse(text);
  (void)store.GetString("Software\\ValeSoft\\WF\\Tarn", "SystemDatabase");
  (void)store.GetString("HKEY_CLASSES_ROOT\\TarnLogin.clsLogin\\CLSID", "");
  (void)store.HasKey("Software");
  return 0;
}
