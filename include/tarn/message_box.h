// Messages the library shows its user (an unknown message id, in the
// extended edition). A library has no dialog of its own on Linux, so the
// host decides: the default writes one line to standard error, `tarn
// session` reports each as a JSON line, and a graphical host installs a
// handler that shows a real message box.
#ifndef TARN_MESSAGE_BOX_H_
#define TARN_MESSAGE_BOX_H_

#include <functional>
#include <string>

#include "tarn/export.h"

namespace tarn {

enum class MessageIcon { kNone, kInformation, kQuestion, kWarning, kCritical };
enum class MessageButtons { kOk, kOkCancel, kYesNo };
enum class MessageAnswer { kOk, kCancel, kYes, kNo };

struct Message {
  std::string text;
  std::string title;
  MessageIcon icon = MessageIcon::kNone;
  MessageButtons buttons = MessageButtons::kOk;
};

using MessageHandler = std::function<MessageAnswer(const Message&)>;

// Shows `message` through the handler in force and answers what it
// answers; the default handler answers kOk (kYes for yes/no).
TARN_EXPORT MessageAnswer ShowMessage(const Message& message);

// Replaces the handler for the process; an empty one restores the default.
// The handler runs on the thread that shows the message.
TARN_EXPORT void SetMessageHandler(MessageHandler handler);

// Installs a handler for its lifetime and puts the previous one back.
class TARN_EXPORT ScopedMessageHandler {
 public:
  explicit ScopedMessageHandler(MessageHandler handler);
  ~ScopedMessageHandler();
  ScopedMessageHandler(const ScopedMessageHandler&) = delete;
  ScopedMessageHandler& operator=(const ScopedMessageHandler&) = delete;

 private:
  MessageHandler previous_;
};

}  // namespace tarn

#endif  // TARN_MESSAGE_BOX_H_
