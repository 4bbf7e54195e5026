#include "suite/mgmt/serve_line.h"

#include "suite/reply_codec.h"

namespace tarn::suite {

namespace {

std::string Serve(ServiceLogic& logic, const RequestFrameParts& frame) {
  ServiceRequest request;
  std::string reason;
  if (!ParseServiceRequest(frame.request, &request, &reason)) return "-" + reason;
  ServiceReply reply;
  Status s = logic.Handle(request, &reply);
  if (!s.ok()) return "-service error: " + s.message();
  if (reply.plain) return "+" + reply.text.substr(0, kMaxPlainReply);
  return "+" + LockReply(reply.text, frame.handshake);
}

}  // namespace

std::string ServeLine(ServiceLogic& logic, std::string_view line) {
  RequestFrameParts frame;
  std::string reason;
  FrameFault fault = FrameFault::kNone;
  if (!ParseRequestFrame(line, logic.options().service_key, FrameChannel{}, &frame, &reason, &fault)) {
    if (fault == FrameFault::kUnsigned) logic.LogForgery();
    return "-" + reason;
  }
  return Serve(logic, frame);
}

std::string ServeLine(ServiceLogic& logic, std::string_view line, const FrameChannel& channel, FrameFault* fault) {
  RequestFrameParts frame;
  std::string reason;
  // Without a nonce the unbound form would pass: a connection never takes it.
  if (channel.nonce.empty()) {
    if (fault) *fault = FrameFault::kUnsigned;
    return "-refused: the connection has no nonce";
  }
  if (!ParseRequestFrame(line, logic.options().service_key, channel, &frame, &reason, fault)) return "-" + reason;
  return Serve(logic, frame);
}

}  // namespace tarn::suite
