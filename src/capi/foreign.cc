#include "capi/foreign.h"

#include <dlfcn.h>

#include <map>
#include <memory>
#include <mutex>

#include "platform/env.h"

namespace tarn::capi {
namespace {

template <class F>
bool Bind(void* dl, const char* name, F* out) {
  *out = reinterpret_cast<F>(dlsym(dl, name));
  return *out != nullptr;
}

}  // namespace

Status LoadServerOf(const std::string& prog_id, std::string* class_id, const ForeignLibrary** out) {
  const std::shared_ptr<const RegistryStore> registry = Env::Current().Registry();
  std::optional<std::string> id = registry->GetString("HKEY_CLASSES_ROOT\\" + prog_id + "\\CLSID", "");
  if (!id || id->empty()) return Status::NotFound("class not registered: " + prog_id);
  std::optional<std::string> path = registry->GetString("HKEY_CLASSES_ROOT\\CLSID\\" + *id + "\\InprocServer32", "");
  if (!path || path->empty()) return Status::NotFound("no library is registered for " + prog_id + " (" + *id + ")");
  *class_id = *id;

  static std::mutex mu;
  static auto* loaded = new std::map<std::string, std::unique_ptr<ForeignLibrary>>;  // for the process
  std::lock_guard lock(mu);
  auto it = loaded->find(*path);
  if (it == loaded->end()) {
    // Its own symbols first: each library keeps its handles and tables.
    void* dl = dlopen(path->c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!dl) return Status::NotFound("cannot load " + *path + ": " + dlerror());
    auto lib = std::make_unique<ForeignLibrary>();
    lib->path = *path;
    const bool complete = Bind(dl, "DllGetClassObject", &lib->get_class_object) &&
                          Bind(dl, "tarn_factory_create", &lib->factory_create) &&
                          Bind(dl, "tarn_factory_release", &lib->factory_release) &&
                          Bind(dl, "tarn_invoke", &lib->invoke) && Bind(dl, "tarn_get", &lib->get) &&
                          Bind(dl, "tarn_set", &lib->set) && Bind(dl, "tarn_type_name", &lib->type_name) &&
                          Bind(dl, "tarn_release", &lib->release) &&
                          Bind(dl, "tarn_error_number", &lib->error_number) &&
                          Bind(dl, "tarn_error_description", &lib->error_description);
    if (!complete) {
      dlclose(dl);
      return Status::NotFound(*path + " is not a library of the login component");
    }
    it = loaded->emplace(*path, std::move(lib)).first;
  }
  *out = it->second.get();
  return Status::OK();
}

}  // namespace tarn::capi
