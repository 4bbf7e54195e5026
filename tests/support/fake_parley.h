// An RPC library double: records every call and answers with a reply
// locked for the caller's handshake, as the service would, or with an
// exact buffer.
#ifndef TARN_TESTS_SUPPORT_FAKE_PARLEY_H_
#define TARN_TESTS_SUPPORT_FAKE_PARLEY_H_

#include <optional>
#include <string>
#include <vector>

#include "platform/object_registry.h"
#include "boundary/suite.h"
#include "boundary/handshake.h"
#include "suite/parley.h"
#include "suite/reply_codec.h"
#include "suite/stored_text_codec.h"

namespace tarn::testing {

class FakeParley : public boundary::Parley {
 public:
  struct Call {
    std::string host;
    std::string request;
    size_t buffer_size = 0;  // as the caller prepared it
  };
  std::vector<Call> calls;
  int32_t result = 0;
  std::string reply = "pass";  // plain text, locked on the way out
  bool unlocked = false;       // send `reply` as it is (a host-information reply)
  std::optional<std::string> exact_buffer;

  int32_t RPCCall(const std::string& host, const std::string& request, std::string& buffer) override {
    calls.push_back({host, request, buffer.size()});
    if (result != 0) return result;
    if (exact_buffer) {
      buffer = *exact_buffer;
      return 0;
    }
    if (unlocked) {
      suite::WriteReplyBuffer(buffer, reply);
    } else {
      auto sundry = ObjectRegistry::Global().CreateAs<boundary::Sundry>(boundary::kSundryLibrary);
      const int32_t handshake = boundary::ReplyHandshake(*sundry, boundary::CurrentProcessTriple());
      suite::WriteReplyBuffer(buffer, suite::LockReply(reply, handshake));
    }
    return 0;
  }
  std::string CommDecode(const std::string& stored) override {
    calls.push_back({"", "CommDecode:" + stored, 0});
    return suite::CommDecodeText(stored);
  }
  std::string CommEncode(const std::string& plain) override { return suite::CommEncodeText(plain); }

  std::vector<std::string> requests() const {
    std::vector<std::string> out;
    for (const Call& c : calls) out.push_back(c.request);
    return out;
  }
};

// Puts a FakeParley in place of the library for its lifetime.
class FakeParleyScope {
 public:
  explicit FakeParleyScope(std::shared_ptr<FakeParley> parley)
      : registration_(boundary::kParleyLibrary, [parley] { return parley; }) {}

 private:
  ScopedRegistration registration_;
};

}  // namespace tarn::testing

#endif  // TARN_TESTS_SUPPORT_FAKE_PARLEY_H_
