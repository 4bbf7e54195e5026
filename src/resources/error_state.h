// Recording a failure in the thread's last-error state: the code, the
// message's arguments (indexed from 1), the message looked up by resource
// id, and its text.
#ifndef TARN_RESOURCES_ERROR_STATE_H_
#define TARN_RESOURCES_ERROR_STATE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "tarn/variant.h"

namespace tarn::resources {

// Code, arguments, lookup, text: in that order. With no arguments the last
// arguments are left as they were.
void RecordError(int32_t code, const std::string& res_id, std::vector<Variant> args = {});
// A code with a text composed by the caller (no lookup, no resource id).
void RecordRawError(int32_t code, std::string text);
// The text of a resource, recording its id as the last one looked up.
std::string ResText(const std::string& res_id);

void SetLogState(int32_t code);
void SetShareString(std::string text);
void ClearLastError();

}  // namespace tarn::resources

#endif  // TARN_RESOURCES_ERROR_STATE_H_
