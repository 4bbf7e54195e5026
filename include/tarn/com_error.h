// An error raised to the caller of a member, as an automation call reports
// one: a number, a source and a description. The few places where the login
// object lets an error reach its caller throw this; everything else records
// the failure in the thread's last-error state and returns false.
#ifndef TARN_COM_ERROR_H_
#define TARN_COM_ERROR_H_

#include <cstdint>
#include <stdexcept>
#include <string>

#include "tarn/export.h"

namespace tarn {

class TARN_EXPORT ComError : public std::runtime_error {
 public:
  ComError(int32_t number, std::string description, std::string source = "TarnLogin")
      : std::runtime_error(description),
        number_(number),
        description_(std::move(description)),
        source_(std::move(source)) {}

  int32_t number() const { return number_; }
  const std::string& description() const { return description_; }
  const std::string& source() const { return source_; }

 private:
  int32_t number_;
  std::string description_;
  std::string source_;
};

// Numbers that automation clients know by heart.
namespace errnum {
constexpr int32_t kInvalidCall = 5;  // invalid procedure call or argument
constexpr int32_t kOverflow = 6;
constexpr int32_t kSubscriptRange = 9;
constexpr int32_t kTypeMismatch = 13;
constexpr int32_t kObjectRequired = 91;  // object variable not set
constexpr int32_t kInvalidNull = 94;
constexpr int32_t kCannotCreate = 429;  // component can't create object
constexpr int32_t kNoSuchMember = 438;  // object doesn't support this property or method
constexpr int32_t kNotAvailable = 445;  // object doesn't support this action
constexpr int32_t kWrongArgCount = 450;
}  // namespace errnum

}  // namespace tarn

#endif  // TARN_COM_ERROR_H_
