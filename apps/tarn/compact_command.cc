// tarn compact: the compact build's settings dialog on the desktop, as a
// host program shows it; prints StrTarnConn when the dialog closes.
//   tarn compact (--conn "<the host's database, with sys_path>" | --conn-file FILE)
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// A person sees the dialog only on a desktop: X11, Wayland, or a platform
// QT_QPA_PLATFORM names that draws on a screen. offscreen and minimal draw
// nowhere, and the command would wait for a click that cannot come.
bool HasVisibleDisplay() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && *platform) {
    return std::strncmp(platform, "offscreen", 9) != 0 && std::strncmp(platform, "minimal", 7) != 0;
  }
  return compact::HasDisplay();  // with no platform named, DISPLAY or WAYLAND_DISPLAY
}

// Qt aborts the process when the display it was pointed at does not answer;
// the command reports that as the failure it is.
void ExitOnQtFatal(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtDebugMsg) return;
  const QByteArray text = message.toLocal8Bit();
  if (type == QtFatalMsg) {
    std::fprintf(stderr, "tarn compact: cannot show the dialog: %s\n", text.constData());
    std::_Exit(1);
  }
  std::fprintf(stderr, "%s\n", text.constData());
}

int RunCompact(std::string conn, const std::string& conn_file) {
  if (!conn_file.empty()) {
    std::ifstream in(conn_file);
    if (!in) {
      std::fprintf(stderr, "tarn compact: cannot read %s\n", conn_file.c_str());
      return 1;
    }
    conn.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    while (!conn.empty() && (conn.back() == '\n' || conn.back() == '\r')) conn.pop_back();
  }
  if (!HasVisibleDisplay()) {
    std::fputs("tarn compact: no display: DISPLAY and WAYLAND_DISPLAY are unset, or QT_QPA_PLATFORM draws nowhere\n",
               stderr);
    return 1;
  }
  qInstallMessageHandler(ExitOnQtFatal);
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

}  // namespace

void AddCompactCommand(CLI::App& app, int* code) {
  static std::string conn, conn_file;
  CLI::App* cmd = app.add_subcommand(
      "compact", "the compact build's settings dialog on the desktop; prints the account database's connection");
  auto* c = cmd->add_option("--conn", conn, "the host's database, which holds sys_path (StrConn)");
  auto* f = cmd->add_option("--conn-file", conn_file, "a file holding that connection string");
  c->excludes(f);
  cmd->callback([code] {
    if (conn.empty() && conn_file.empty()) {
      std::fputs("tarn compact: give --conn or --conn-file\n", stderr);
      *code = 2;
      return;
    }
    *code = RunCompact(conn, conn_file);
  });
}

}  // namespace tarn::app
