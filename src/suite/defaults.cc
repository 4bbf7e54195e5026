#include "suite/defaults.h"

#include <mutex>

#include "suite/lingua/lingua_package.h"
#include "suite/login_service/login_service.h"
#include "suite/parley.h"
#include "suite/sundry.h"

namespace tarn::suite {

void RegisterStandIns(Edition edition) {
  static std::once_flag once;
  std::call_once(once, [edition] {
    ObjectRegistry& registry = ObjectRegistry::Global();
    RegisterDefaultLingua(registry);
    RegisterDefaultSundry(registry);
    RegisterDefaultParley(registry);
    RegisterDefaultLoginService(registry, edition);
    RegisterDefaultDatabaseKit(registry);
  });
}

}  // namespace tarn::suite
