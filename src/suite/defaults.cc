#include "suite/defaults.h"

#include <mutex>

#include "platform/object_registry.h"
#include "suite/lingua/lingua_package.h"
#include "suite/parley.h"
#include "suite/login_service/login_service.h"
#include "suite/sundry.h"

namespace tarn::suite {

void RegisterDefaults() {
  static std::once_flag once;
  std::call_once(once, [] {
    ObjectRegistry& registry = ObjectRegistry::Global();
    RegisterDefaultLingua(registry);
    RegisterDefaultSundry(registry);
    RegisterDefaultParley(registry);
    RegisterDefaultLoginService(registry);
    RegisterDefaultDatabaseKit(registry);
  });
}

}  // namespace tarn::suite
