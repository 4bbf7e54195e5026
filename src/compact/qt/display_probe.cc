#include "compact/qt/display_probe.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace tarn::compact {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The X server of DISPLAY, through the same library and authority file
// Qt's xcb platform uses.
std::string XProblem() {
  const std::string display = Env("DISPLAY");
  if (display.empty()) return "DISPLAY is unset";
  xcb_connection_t* conn = xcb_connect(display.c_str(), nullptr);
  const int error = xcb_connection_has_error(conn);
  xcb_disconnect(conn);
  if (error == 0) return "";
  return "could not connect to display " + display +
         (error == XCB_CONN_CLOSED_EXT_NOTSUPPORTED || error == XCB_CONN_CLOSED_PARSE_ERR ? " (a bad name)" : "");
}

// The compositor's socket: WAYLAND_DISPLAY, a path or a name below
// XDG_RUNTIME_DIR, as libwayland-client resolves it.
std::string WaylandProblem() {
  std::string name = Env("WAYLAND_DISPLAY");
  if (name.empty()) name = "wayland-0";
  std::string path = name;
  if (name.front() != '/') {
    const std::string runtime = Env("XDG_RUNTIME_DIR");
    if (runtime.empty()) return "XDG_RUNTIME_DIR is unset, so the Wayland display " + name + " cannot be found";
    path = runtime + "/" + name;
  }
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return "the Wayland socket path is too long: " + path;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return "no socket for the Wayland display";
  const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok ? "" : "could not connect to the Wayland display " + path;
}

// Qt's platform list: QT_QPA_PLATFORM's ';'-separated names (each may carry
// ":options"), else Wayland before X in a Wayland session, else X.
std::vector<std::string> Platforms() {
  std::vector<std::string> out;
  const std::string named = Env("QT_QPA_PLATFORM");
  if (named.empty()) {
    if (Env("XDG_SESSION_TYPE") == "wayland" && !Env("WAYLAND_DISPLAY").empty()) out.push_back("wayland");
    out.push_back("xcb");
    return out;
  }
  size_t start = 0;
  while (start <= named.size()) {
    size_t end = named.find(';', start);
    if (end == std::string::npos) end = named.size();
    std::string item = named.substr(start, end - start);
    item = item.substr(0, item.find(':'));
    if (!item.empty()) out.push_back(item);
    start = end + 1;
  }
  return out;
}

}  // namespace

std::string DisplayProblem() {
  std::string problems;
  for (const std::string& platform : Platforms()) {
    std::string problem;
    if (platform == "xcb") {
      problem = XProblem();
    } else if (std::string_view(platform).substr(0, 7) == "wayland") {
      problem = WaylandProblem();
    } else {
      return "";  // draws without a display server, or one we cannot ask: Qt's own
    }
    if (problem.empty()) return "";
    problems += (problems.empty() ? "" : "; ") + problem;
  }
  return problems.empty() ? "no platform to show a window on" : problems;
}

}  // namespace tarn::compact
