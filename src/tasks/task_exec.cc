// TaskExec: registration and release of the functions a module opens, and
// the exclusion rules between them. Built next; until then the member says
// so to its caller.
#include "core/not_built.h"
#include "tarn/login.h"

namespace tarn {

bool clsLogin::TaskExec(const std::string&, int16_t, int16_t) { core::RaiseNotBuilt("TaskExec"); }

}  // namespace tarn
