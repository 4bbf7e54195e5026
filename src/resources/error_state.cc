#include "resources/error_state.h"

#include "core/thread_state.h"
#include "resources/res_service.h"

namespace tarn::resources {

void RecordError(int32_t code, const std::string& res_id, std::vector<Variant> args) {
  core::ThreadState& t = core::Thread();
  t.log_state = code;
  if (args.empty()) {
    t.share_string = SharedResService().GetResString(res_id);
  } else {
    t.last_res_arg = ArgsFrom(std::move(args), 1);
    t.share_string = SharedResService().GetResFormatString(res_id, t.last_res_arg);
  }
}

void RecordRawError(int32_t code, std::string text) {
  core::ThreadState& t = core::Thread();
  t.log_state = code;
  t.share_string = std::move(text);
}

std::string ResText(const std::string& res_id) { return SharedResService().GetResString(res_id); }

void SetLogState(int32_t code) { core::Thread().log_state = code; }
void SetShareString(std::string text) { core::Thread().share_string = std::move(text); }

void ClearLastError() {
  core::ThreadState& t = core::Thread();
  t.log_state = 0;
  t.share_string.clear();
}

}  // namespace tarn::resources
