// Result of an internal operation that may fail, LevelDB-style: cheap when
// OK, a code and a message otherwise.
#ifndef TARN_STATUS_H_
#define TARN_STATUS_H_

#include <string>
#include <utility>

namespace tarn {

class [[nodiscard]] Status {
 public:
  enum class Code { kOk, kNotFound, kInvalidArgument, kIOError, kDatabase, kUnavailable };

  Status() = default;
  static Status OK() { return Status(); }
  static Status NotFound(std::string msg) { return Status(Code::kNotFound, std::move(msg)); }
  static Status InvalidArgument(std::string msg) { return Status(Code::kInvalidArgument, std::move(msg)); }
  static Status IOError(std::string msg) { return Status(Code::kIOError, std::move(msg)); }
  static Status Database(std::string msg) { return Status(Code::kDatabase, std::move(msg)); }
  static Status Unavailable(std::string msg) { return Status(Code::kUnavailable, std::move(msg)); }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  const std::string& message() const { return message_; }

 private:
  Status(Code c, std::string m) : code_(c), message_(std::move(m)) {}
  Code code_ = Code::kOk;
  std::string message_;
};

}  // namespace tarn

#endif  // TARN_STATUS_H_
