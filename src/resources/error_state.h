// The thread's last error, shared by every login object of the thread:
// the code (LogState), its text (ShareString), the resource id of the last
// text looked up and the arguments of the last message that had any. Each
// thread has its own; nothing here is locked because nothing here crosses
// threads.
#ifndef TARN_RESOURCES_ERROR_STATE_H_
#define TARN_RESOURCES_ERROR_STATE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tarn/error_res.h"
#include "tarn/variant.h"

namespace tarn::resources {

struct LastError {
  int32_t log_state = 0;
  std::string share_string;
  std::string last_res_id;  // written by every lookup, failing or not
  Array last_res_arg;
};

// This thread's last error.
LastError& ThreadLastError();

// Recording a failure: code, arguments (indexed from 1), lookup, text, in
// that order. With no arguments the last arguments are left as they were.
// A lookup that fails (no message package) raises its ComError after the
// code is set.
void RecordError(int32_t code, const std::string& res_id, std::vector<Variant> args = {});
// A code with a text composed by the caller (no lookup, no resource id).
void RecordRawError(int32_t code, std::string text);
// The text of a resource, recording its id as the last one looked up.
std::string ResText(const std::string& res_id);

void SetLogState(int32_t code);
void SetShareString(std::string text);
// LogState 0 and no text; the resource id and arguments stay.
void ClearLastError();

// The record GetLastErrorResID hands out, filled from the last error;
// nullptr while LogState is 0. One record per thread, overwritten by each
// call.
std::shared_ptr<clsErrorRes> LastErrorRecord();
// The same record filled with an error of the login interface: `args`
// become the last error arguments too.
std::shared_ptr<clsErrorRes> ForwardedErrorRecord(const std::string& res_id, Array args);
// Forgets the record: the next call creates a new one.
void DropErrorRecord();

// Drops the thread's shared resource service and error record: they are
// created again on next use (the end of a login object's release).
void DropSharedObjects();

// Forgets this thread's last error and shared objects (tests).
void ResetThreadForTesting();

}  // namespace tarn::resources

#endif  // TARN_RESOURCES_ERROR_STATE_H_
