// tarn compact: the compact build's settings dialog on the desktop, as a
// host program shows it; prints StrTarnConn when the dialog closes.
//   tarn compact (--conn "<the host's database, with sys_path>" | --conn-file FILE)
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
