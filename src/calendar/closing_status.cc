// ClosingStatus: the year-end closing flag of a module. Built next; until
// then the member says so to its caller.
#include "core/not_built.h"
#include "tarn/login.h"

namespace tarn {

bool clsLogin::ClosingStatus(int16_t, const std::string&, int16_t, bool&) { core::RaiseNotBuilt("ClosingStatus"); }

}  // namespace tarn
