#include "resources/error_state.h"

#include "resources/res_service.h"

namespace tarn::resources {
namespace {

struct ThreadShared {
  LastError last_error;
  Edition message_edition = Edition::kFull;
  std::shared_ptr<clsResService> res_service;
  std::shared_ptr<clsErrorRes> error_record;
};

ThreadShared& Shared() {
  thread_local ThreadShared shared;
  return shared;
}

}  // namespace

LastError& ThreadLastError() { return Shared().last_error; }

clsResService& SharedResService() {
  auto& slot = Shared().res_service;
  if (!slot) slot = std::make_shared<clsResService>();
  return *slot;
}

bool HasSharedResService() { return Shared().res_service != nullptr; }

void SetMessageEdition(Edition edition) { Shared().message_edition = edition; }
Edition MessageEdition() { return Shared().message_edition; }

void RecordError(int32_t code, const std::string& res_id, std::vector<Variant> args) {
  LastError& e = ThreadLastError();
  e.log_state = code;
  if (args.empty()) {
    e.share_string = SharedResService().GetResString(res_id);
  } else {
    e.last_res_arg = ArgsFrom(std::move(args), 1);
    e.share_string = SharedResService().GetResFormatString(res_id, e.last_res_arg);
  }
}

void RecordRawError(int32_t code, std::string text) {
  LastError& e = ThreadLastError();
  e.log_state = code;
  e.share_string = std::move(text);
}

std::string ResText(const std::string& res_id) { return SharedResService().GetResString(res_id); }

void SetLogState(int32_t code) { ThreadLastError().log_state = code; }
void SetShareString(std::string text) { ThreadLastError().share_string = std::move(text); }

void ClearLastError() {
  LastError& e = ThreadLastError();
  e.log_state = 0;
  e.share_string.clear();
}

std::shared_ptr<clsErrorRes> LastErrorRecord() {
  ThreadShared& t = Shared();
  if (t.last_error.log_state == 0) return nullptr;
  if (!t.error_record) t.error_record = std::make_shared<clsErrorRes>();
  t.error_record->set_ResId(t.last_error.last_res_id);
  t.error_record->set_ResArg(t.last_error.last_res_arg);
  return t.error_record;
}

std::shared_ptr<clsErrorRes> ForwardedErrorRecord(const std::string& res_id, Array args) {
  ThreadShared& t = Shared();
  t.last_error.last_res_arg = std::move(args);
  if (!t.error_record) t.error_record = std::make_shared<clsErrorRes>();
  t.error_record->set_ResId(res_id);
  t.error_record->set_ResArg(t.last_error.last_res_arg);
  return t.error_record;
}

void DropErrorRecord() { Shared().error_record.reset(); }

void DropSharedObjects() {
  ThreadShared& t = Shared();
  t.res_service.reset();
  t.error_record.reset();
}

void ResetThreadForTesting() { Shared() = ThreadShared(); }

}  // namespace tarn::resources
