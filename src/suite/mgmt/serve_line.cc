#include "suite/mgmt/serve_line.h"

#include "suite/reply_codec.h"

namespace tarn::suite {

using boundary::ParseServiceRequest;
using boundary::ServiceRequest;

namespace {

void Serve(ServiceLogic& logic, const RequestFrameParts& frame, std::string* out) {
  ServiceRequest request;
  std::string reason;
  if (!ParseServiceRequest(frame.request, &request, &reason)) {
    out->append("-").append(reason);
    return;
  }
  ServiceReply reply;
  Status s = logic.Handle(request, &reply);
  if (!s.ok()) {
    out->append("-service error: ").append(s.message());
    return;
  }
  out->push_back('+');
  if (reply.plain) {
    out->append(reply.text, 0, kMaxPlainReply);
  } else {
    AppendLockedReply(reply.text, frame.handshake, out);
  }
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
  std::string out;
  Serve(logic, frame, &out);
  return out;
}

void ServeLine(ServiceLogic& logic, std::string_view line, const FrameChannel& channel, FrameFault* fault,
               std::string* out) {
  RequestFrameParts frame;
  std::string reason;
  // Without a nonce the unbound form would pass: a connection never takes it.
  if (channel.nonce.empty()) {
    if (fault) *fault = FrameFault::kUnsigned;
    out->append("-refused: the connection has no nonce");
    return;
  }
  if (!ParseRequestFrame(line, logic.options().service_key, channel, &frame, &reason, fault)) {
    out->append("-").append(reason);
    return;
  }
  Serve(logic, frame, out);
}

}  // namespace tarn::suite
