// One login-object host: reads commands of the session protocol and answers
// each with one JSON object. Used by `tarn session` and by the demo.
#ifndef TARN_APPS_TARN_SESSION_HOST_H_
#define TARN_APPS_TARN_SESSION_HOST_H_

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/offset_env.h"
#include "tarn/edition.h"
#include "tarn/login.h"
#include "tarn/message_box.h"

namespace tarn::app {

class SessionHost {
 public:
  explicit SessionHost(Edition edition = Edition::kFull);
  ~SessionHost();

  // The answer to one input line: nullopt for blank and comment lines. A
  // message the library showed meanwhile comes first, one
  // {"messagebox":...} line each.
  std::optional<std::string> Execute(const std::string& line);
  bool quit() const { return quit_; }

  // Longest line accepted.
  static constexpr size_t kMaxLine = 64 * 1024;

 private:
  std::string Meta(const std::string& line);
  std::string Call(const std::string& line);

  Edition edition_;
  OffsetEnv env_;
  ScopedEnv env_scope_;
  std::vector<std::unique_ptr<clsLogin>> objects_;
  size_t current_ = 0;
  bool quit_ = false;
  std::vector<std::string> shown_;  // messages shown during the current line
  ScopedMessageHandler messages_;
};

}  // namespace tarn::app

#endif  // TARN_APPS_TARN_SESSION_HOST_H_
