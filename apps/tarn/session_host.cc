#include "session_host.h"

#include <cctype>
#include <exception>

#include "json_values.h"
#include "platform/text.h"
#include "resources/error_state.h"
#include "tarn/com_error.h"
#include "tarn/pump.h"
#include "typelib/login_type.h"

namespace tarn::app {
namespace {

std::string Dump(const Json& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace); }

Json ErrorJson(int32_t number, const std::string& description) {
  return Json{{"number", number}, {"description", description}};
}

// Deeper arrays than any member takes are refused before they are parsed:
// nesting costs stack in the parser and in every value that holds it.
constexpr int kMaxDepth = 32;

// Splits the argument text into JSON value tokens separated by blanks.
// Returns the refusal when a string or bracket is not closed or nests too
// deep; "" when all is well.
std::string SplitValues(const std::string& text, std::vector<std::string>* out) {
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i >= text.size()) break;
    const size_t start = i;
    int depth = 0;
    bool in_string = false;
    for (; i < text.size(); ++i) {
      const char c = text[i];
      if (in_string) {
        if (c == '\\')
          ++i;
        else if (c == '"')
          in_string = false;
        if (!in_string && depth == 0) {
          ++i;
          break;
        }
        continue;
      }
      if (c == '"') {
        in_string = true;
      } else if (c == '[' || c == '{') {
        if (++depth > kMaxDepth) {
          return "argument nested deeper than " + std::to_string(kMaxDepth) + " levels";
        }
      } else if (c == ']' || c == '}') {
        --depth;
      } else if (depth == 0 && std::isspace(static_cast<unsigned char>(c)))
        break;
    }
    if (in_string || depth != 0) return "argument not closed: " + text.substr(start);
    out->push_back(text.substr(start, i - start));
  }
  return std::string();
}

// A whole number written without fraction or exponent: the parser keeps
// one too large for 64 bits as a double, which must not pass for it.
bool IsIntegerLiteral(const std::string& token) {
  size_t i = token.size() > 0 && token[0] == '-' ? 1 : 0;
  if (i >= token.size()) return false;
  for (; i < token.size(); ++i) {
    if (token[i] < '0' || token[i] > '9') return false;
  }
  return true;
}

const char* IconName(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kInformation: return "information";
    case MessageIcon::kQuestion: return "question";
    case MessageIcon::kWarning: return "warning";
    case MessageIcon::kCritical: return "critical";
    case MessageIcon::kNone: break;
  }
  return "none";
}

const char* ButtonsName(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::kOkCancel: return "okcancel";
    case MessageButtons::kYesNo: return "yesno";
    case MessageButtons::kOk: break;
  }
  return "ok";
}

}  // namespace

SessionHost::SessionHost(Edition edition)
    : edition_(edition), env_(Env::Current()), env_scope_(&env_), messages_([this](const Message& m) {
        // Nobody answers in a session: the message counts as read, as its
        // first button.
        shown_.push_back(Dump(Json{{"messagebox",
                                    {{"text", m.text},
                                     {"title", m.title},
                                     {"icon", IconName(m.icon)},
                                     {"buttons", ButtonsName(m.buttons)}}}}));
        return m.buttons == MessageButtons::kYesNo ? MessageAnswer::kYes : MessageAnswer::kOk;
      }) {
  objects_.push_back(std::make_unique<clsLogin>(edition_));
}

SessionHost::~SessionHost() { objects_.clear(); }

std::optional<std::string> SessionHost::Execute(const std::string& raw) {
  std::string line = raw;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.size() > kMaxLine) {
    return Dump(Json{
        {"error", ErrorJson(errnum::kInvalidCall, "line longer than " + std::to_string(kMaxLine) + " bytes ignored")}});
  }
  if (line.find('\0') != std::string::npos || !IsValidUtf8(line)) {
    return Dump(Json{{"error", ErrorJson(errnum::kInvalidCall, "line is not UTF-8 text; ignored")}});
  }
  line = std::string(TrimSpace(line));
  if (line.empty() || line[0] == '#') return std::nullopt;
  std::string answer = line[0] == ':' ? Meta(line) : Call(line);
  PumpMessages();
  std::string out;
  for (const std::string& message : shown_) out += message + "\n";
  shown_.clear();
  return out + answer;
}

std::string SessionHost::Meta(const std::string& line) {
  const size_t blank = line.find_first_of(" \t");
  const std::string command = line.substr(1, blank == std::string::npos ? std::string::npos : blank - 1);
  const std::string arg = blank == std::string::npos ? std::string() : std::string(TrimSpace(line.substr(blank)));
  Json out{{"meta", command}};
  auto parse_count = [&](long long* value) {
    try {
      size_t used = 0;
      *value = std::stoll(arg, &used);
      return used == arg.size();
    } catch (const std::exception&) {
      return false;
    }
  };
  if (command == "new") {
    objects_.push_back(std::make_unique<clsLogin>(edition_));
    current_ = objects_.size() - 1;
    out["object"] = current_;
  } else if (command == "use") {
    long long index = -1;
    if (!parse_count(&index) || index < 0 || static_cast<size_t>(index) >= objects_.size() || !objects_[index]) {
      out["error"] =
          ErrorJson(errnum::kSubscriptRange, "no object " + arg + " (" + std::to_string(objects_.size()) + " created)");
    } else {
      current_ = static_cast<size_t>(index);
      out["object"] = current_;
    }
  } else if (command == "release") {
    if (current_ < objects_.size() && objects_[current_]) {
      objects_[current_].reset();
      out["object"] = current_;
    } else {
      out["error"] = ErrorJson(errnum::kObjectRequired, "no current object");
    }
  } else if (command == "pump") {
    out["fired"] = PumpMessages();
  } else if (command == "advance") {
    long long seconds = 0;
    if (!parse_count(&seconds) || seconds < 0 || seconds > 100LL * 365 * 86400) {
      out["error"] = ErrorJson(errnum::kInvalidCall, ":advance takes a whole number of seconds");
    } else {
      env_.Advance(seconds * 1000);
      out["seconds"] = seconds;
      out["fired"] = PumpMessages();
    }
  } else if (command == "quit") {
    quit_ = true;
  } else {
    out["error"] =
        ErrorJson(errnum::kInvalidCall, "unknown command :" + command + " (:new :use :release :pump :advance :quit)");
  }
  return Dump(out);
}

std::string SessionHost::Call(const std::string& line) {
  size_t blank = line.find_first_of(" \t");
  std::string member = line.substr(0, blank);
  std::string rest = blank == std::string::npos ? std::string() : line.substr(blank);
  MemberKind kind = MemberKind::kMethod;
  if (member == "let") {
    rest = std::string(TrimSpace(rest));
    blank = rest.find_first_of(" \t");
    member = rest.substr(0, blank);
    rest = blank == std::string::npos ? std::string() : rest.substr(blank);
    kind = MemberKind::kPropertyLet;
  }

  Json out{{"member", member}};
  std::vector<Variant> args;

  std::vector<std::string> tokens;
  Json error;
  if (member.empty()) {
    error = ErrorJson(errnum::kInvalidCall, "a member name is missing");
  } else if (const std::string refusal = SplitValues(rest, &tokens); !refusal.empty()) {
    error = ErrorJson(errnum::kInvalidCall, refusal);
  } else {
    for (size_t i = 0; i < tokens.size() && error.is_null(); ++i) {
      try {
        const Json value = Json::parse(tokens[i]);
        if (value.is_number_float() && IsIntegerLiteral(tokens[i])) {
          throw ComError(errnum::kOverflow, "Overflow: argument " + std::to_string(i + 1) + " is beyond 64 bits");
        }
        args.push_back(FromJson(value));
      } catch (const ComError& e) {
        error = ErrorJson(e.number(), e.description());
      } catch (const Json::exception&) {
        error =
            ErrorJson(errnum::kInvalidCall, "argument " + std::to_string(i + 1) + " is not a JSON value: " + tokens[i] +
                                                " (strings go in double quotes)");
      }
    }
  }
  if (error.is_null() && kind == MemberKind::kPropertyLet && args.size() != 1) {
    error = ErrorJson(errnum::kWrongArgCount, "let takes a property name and one value");
  }
  clsLogin* self = current_ < objects_.size() ? objects_[current_].get() : nullptr;
  if (error.is_null() && self == nullptr) {
    error = ErrorJson(errnum::kObjectRequired, "no current object (released); use :new or :use N");
  }
  Json result;
  if (error.is_null()) {
    try {
      const Variant value = Invoke(typelib::LoginType(edition_), *self, member, kind, args);
      result = kind == MemberKind::kPropertyLet ? Json(nullptr) : ToJson(value);
    } catch (const ComError& e) {
      error = ErrorJson(e.number(), e.description());
    } catch (const std::exception& e) {
      error = ErrorJson(51, std::string("internal error: ") + e.what());
    }
  }
  if (error.is_null()) {
    out["result"] = std::move(result);
  } else {
    out["error"] = std::move(error);
  }
  Json byref = Json::array();
  for (const Variant& a : args) byref.push_back(ToJson(a));
  out["byref"] = std::move(byref);
  // The thread's error state, read without a login object so that it shows
  // also after the current object was released.
  out["LogState"] = resources::ThreadLastError().log_state;
  out["ShareString"] = resources::ThreadLastError().share_string;
  return Dump(out);
}

}  // namespace tarn::app
