// Result of an internal operation that may fail, LevelDB-style: cheap when
// OK (one null pointer to move), a code and a message otherwise.
#ifndef TARN_STATUS_H_
#define TARN_STATUS_H_

#include <memory>
#include <string>
#include <utility>

namespace tarn {

class [[nodiscard]] Status {
 public:
  enum class Code { kOk, kNotFound, kInvalidArgument, kIOError, kDatabase, kUnavailable };

  Status() = default;
  Status(const Status& o) : state_(o.state_ ? std::make_unique<State>(*o.state_) : nullptr) {}
  Status& operator=(const Status& o) {
    if (this != &o) state_ = o.state_ ? std::make_unique<State>(*o.state_) : nullptr;
    return *this;
  }
  Status(Status&&) noexcept = default;
  Status& operator=(Status&&) noexcept = default;

  static Status OK() { return Status(); }
  static Status NotFound(std::string msg) { return Status(Code::kNotFound, std::move(msg)); }
  static Status InvalidArgument(std::string msg) { return Status(Code::kInvalidArgument, std::move(msg)); }
  static Status IOError(std::string msg) { return Status(Code::kIOError, std::move(msg)); }
  static Status Database(std::string msg) { return Status(Code::kDatabase, std::move(msg)); }
  static Status Unavailable(std::string msg) { return Status(Code::kUnavailable, std::move(msg)); }

  bool ok() const { return !state_; }
  Code code() const { return state_ ? state_->code : Code::kOk; }
  const std::string& message() const { return state_ ? state_->message : Empty(); }

 private:
  struct State {
    Code code;
    std::string message;
  };
  Status(Code c, std::string m) : state_(std::make_unique<State>(State{c, std::move(m)})) {}
  static const std::string& Empty() {
    static const std::string empty;
    return empty;
  }
  std::unique_ptr<State> state_;  // null when OK
};

}  // namespace tarn

#endif  // TARN_STATUS_H_
