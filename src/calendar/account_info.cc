// GetAccInfo: account information by index. Built next; until then the
// member says so to its caller.
#include "core/not_built.h"
#include "tarn/login.h"

namespace tarn {

bool clsLogin::GetAccInfo(int32_t, Variant&) { core::RaiseNotBuilt("GetAccInfo"); }

}  // namespace tarn
