// The suite's two closed libraries, bound by name at first use. Each is an
// object in the object registry under its file name, so that a missing
// library is an error of the calling operation and tests can replace it.
#ifndef TARN_SUITE_CLOSED_LIBS_H_
#define TARN_SUITE_CLOSED_LIBS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "tarn/variant.h"

namespace tarn::suite {

inline constexpr std::string_view kSundryLibrary = "sundry.dll";
inline constexpr std::string_view kParleyLibrary = "Parley.dll";

// Reply and output buffers of both libraries hold 512 characters with the
// terminating NUL: results are cut to 511.
inline constexpr size_t kBufferChars = 512;

class Sundry : public Object {
 public:
  std::string TypeName() const override { return "Sundry"; }
  virtual int32_t B64System() = 0;  // 1 on a 64-bit system
  virtual int32_t MathOperate(int32_t a, int32_t b, int32_t operation) = 0;
  // The plain form of an encoded service reply, for the given handshake.
  virtual std::string UnlockInfo(const std::string& reply, int32_t handshake) = 0;
};

class Parley : public Object {
 public:
  std::string TypeName() const override { return "Parley"; }
  // Sends one request line to the management service at `host` and writes
  // the reply, NUL-terminated, over the start of the `reply` buffer (which
  // is grown to kBufferChars first if the caller passed less). 0 on
  // success.
  virtual int32_t RPCCall(const std::string& host, const std::string& request, std::string& reply) = 0;
  // The plain form of a stored text (read up to its first NUL).
  virtual std::string CommDecode(const std::string& stored) = 0;
  // The stored form that CommDecode reverses.
  virtual std::string CommEncode(const std::string& plain) = 0;
};

}  // namespace tarn::suite

#endif  // TARN_SUITE_CLOSED_LIBS_H_
