#include "suite/mgmt/serve_line.h"

#include "suite/reply_codec.h"
#include "suite/wire.h"

namespace tarn::suite {

std::string ServeLine(ServiceLogic& logic, std::string_view line, int64_t now_ms) {
  RequestFrameParts frame;
  std::string reason;
  bool forged = false;
  if (!ParseRequestFrame(line, logic.options().service_key, &frame, &reason, &forged)) {
    if (forged) logic.LogForgery();
    return "-" + reason;
  }
  ServiceRequest request;
  if (!ParseServiceRequest(frame.request, &request, &reason)) return "-" + reason;
  ServiceReply reply;
  Status s = logic.Handle(request, now_ms, &reply);
  if (!s.ok()) return "-service error: " + s.message();
  if (reply.plain) return "+" + reply.text.substr(0, kMaxPlainReply);
  return "+" + LockReply(reply.text, frame.handshake);
}

}  // namespace tarn::suite
