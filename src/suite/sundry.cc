#include "suite/sundry.h"

#include <algorithm>
#include <optional>

#include "platform/env.h"
#include "suite/reply_codec.h"

namespace tarn::suite {

using boundary::kBufferChars;
using boundary::kSundryLibrary;
using boundary::Sundry;
namespace {

class SystemSundry final : public Sundry {
 public:
  int32_t B64System() override { return Env::Current().Is64Bit() ? 1 : 0; }

  // Plain 32-bit arithmetic with wrap-around; the handshake series is built
  // from these.
  int32_t MathOperate(int32_t a, int32_t b, int32_t operation) override {
    const uint32_t x = static_cast<uint32_t>(a), y = static_cast<uint32_t>(b);
    switch (operation) {
      case 0: return static_cast<int32_t>(x + y);
      case 1: return static_cast<int32_t>(x - y);
      case 2: return static_cast<int32_t>(x * y);
      case 3: return static_cast<int32_t>(x ^ y);
      case 4: return static_cast<int32_t>((x << (y & 31)) | (x >> ((32 - (y & 31)) & 31)));
      default: return static_cast<int32_t>(x & y);
    }
  }

  // The reply is read up to its first NUL, as the C string it is; a reply
  // that was not locked for this handshake unlocks to nothing.
  std::string UnlockInfo(const std::string& reply, int32_t handshake) override {
    std::optional<std::string> plain = UnlockReply(std::string_view(reply).substr(0, reply.find('\0')), handshake);
    if (!plain) return std::string();
    return plain->substr(0, std::min(plain->find('\0'), kBufferChars - 1));
  }
};

}  // namespace

void RegisterDefaultSundry(ObjectRegistry& registry) {
  registry.RegisterDefault(kSundryLibrary, [] { return std::make_shared<SystemSundry>(); });
}

}  // namespace tarn::suite
