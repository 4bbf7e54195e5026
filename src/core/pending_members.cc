// Members whose operations are still being built: each raises a clear error
// to its caller rather than pretending to work.
#include "tarn/com_error.h"
#include "tarn/login.h"

namespace tarn {
namespace {

[[noreturn]] void NotAvailable(const char* member) {
  throw ComError(errnum::kNotAvailable, std::string(member) + " is not available in this build yet");
}

}  // namespace

int32_t clsLogin::GetNatureDate(int16_t&, Date&, Date&) { NotAvailable("GetNatureDate"); }
int32_t clsLogin::GetPeriod(Date, int16_t&, int16_t&) { NotAvailable("GetPeriod"); }
bool clsLogin::TaskExec(const std::string&, int16_t, int16_t) { NotAvailable("TaskExec"); }
bool clsLogin::ClosingStatus(int16_t, const std::string&, int16_t, bool&) { NotAvailable("ClosingStatus"); }
bool clsLogin::GetAccInfo(int32_t, Variant&) { NotAvailable("GetAccInfo"); }

}  // namespace tarn
