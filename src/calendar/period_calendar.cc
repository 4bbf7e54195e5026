// GetPeriod and GetNatureDate: the accounting periods of the account set.
// Built next; until then the members say so to their caller.
#include "core/not_built.h"
#include "tarn/login.h"

namespace tarn {

int32_t clsLogin::GetNatureDate(int16_t&, Date&, Date&) { core::RaiseNotBuilt("GetNatureDate"); }
int32_t clsLogin::GetPeriod(Date, int16_t&, int16_t&) { core::RaiseNotBuilt("GetPeriod"); }

}  // namespace tarn
