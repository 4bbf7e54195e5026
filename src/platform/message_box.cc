#include "tarn/message_box.h"

#include <cstdio>
#include <mutex>

namespace tarn {
namespace {

std::mutex mu;

MessageHandler& Handler() {
  static auto* handler = new MessageHandler;  // for the process
  return *handler;
}

MessageAnswer ToStandardError(const Message& m) {
  std::fprintf(stderr, "%s%s%s\n", m.title.c_str(), m.title.empty() ? "" : ": ", m.text.c_str());
  return m.buttons == MessageButtons::kYesNo ? MessageAnswer::kYes : MessageAnswer::kOk;
}

}  // namespace

MessageAnswer ShowMessage(const Message& message) {
  MessageHandler handler;
  {
    std::lock_guard lock(mu);
    handler = Handler();
  }
  return handler ? handler(message) : ToStandardError(message);
}

void SetMessageHandler(MessageHandler handler) {
  std::lock_guard lock(mu);
  Handler() = std::move(handler);
}

ScopedMessageHandler::ScopedMessageHandler(MessageHandler handler) {
  std::lock_guard lock(mu);
  previous_ = Handler();
  Handler() = std::move(handler);
}

ScopedMessageHandler::~ScopedMessageHandler() { SetMessageHandler(std::move(previous_)); }

}  // namespace tarn
