// tarn compact: the compact build's settings dialog on the desktop, as a
// host program shows it; prints StrTarnConn when the dialog closes.
//   tarn compact --conn "<the host's database, with sys_path>"
//   tarn compact --conn-file FILE
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "commands.h"
#include "compact/form_presenter.h"
#include "compact/qt/frm_tarn_login.h"
#include "tarn/com_error.h"
#include "tarn/compact_login.h"

namespace tarn::app {
namespace {

int Usage() {
  std::fputs("usage: tarn compact (--conn \"<connection string>\" | --conn-file FILE)\n", stderr);
  return 2;
}

}  // namespace

int RunCompact(const Args& args) {
  std::string conn;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--conn" && i + 1 < args.size()) {
      conn = args[++i];
    } else if (args[i] == "--conn-file" && i + 1 < args.size()) {
      std::ifstream in(args[++i]);
      if (!in) {
        std::fprintf(stderr, "tarn compact: cannot read %s\n", args[i].c_str());
        return 1;
      }
      conn.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      while (!conn.empty() && (conn.back() == '\n' || conn.back() == '\r')) conn.pop_back();
    } else {
      return Usage();
    }
  }
  if (conn.empty()) return Usage();
  if (!compact::HasDisplay()) {
    std::fputs("tarn compact: no display: DISPLAY and WAYLAND_DISPLAY are unset (QT_QPA_PLATFORM=offscreen draws "
               "nowhere)\n",
               stderr);
    return 1;
  }
  compact::SetFormPresenter(compact::ShowModally);
  CompactLogin login;
  login.set_StrConn(conn);
  try {
    login.Login();
  } catch (const ComError& e) {
    std::fprintf(stderr, "tarn compact: %s\n", e.description().c_str());
    return 1;
  }
  std::printf("%s\n", login.StrTarnConn().c_str());
  return 0;
}

}  // namespace tarn::app
