// tarn: the command line of the login component.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "suite/defaults.h"

namespace {

int Usage() {
  std::fputs(
      "usage: tarn <command> [options]\n"
      "  session   a login object host speaking one JSON line per command\n"
      "  db        init | query | passwd: the system database\n"
      "  service   the management service: --listen ADDR:PORT --connect CONNSTR\n"
      "  token     --user U --sub GL --acc 001 --year 2024: a sign-on token (password asked or on stdin)\n"
      "  tasks     [release|try] (--data DIR | ...): who holds which function; free or try one\n"
      "  compact   --conn CONNSTR: the compact build's settings dialog; prints the account connection\n"
      "  regsvr    [-u] LIBRARY: register a library's classes in the registry file (or remove them)\n"
      "  demo      a module's life on a demo database\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  tarn::app::Args args(argv + 2, argv + argc);
  const std::string command = argv[1];
  // The session registers the stand-ins of the edition it hosts.
  if (command == "session") return tarn::app::RunSession(args);
  // The compact build stands apart from the suite: nothing to register.
  if (command == "compact") return tarn::app::RunCompact(args);
  if (command == "regsvr") return tarn::app::RunRegsvr(args);
  tarn::suite::RegisterStandIns(tarn::Edition::kFull);
  if (command == "db") return tarn::app::RunDb(args);
  if (command == "demo") return tarn::app::RunDemo(args);
  if (command == "service") return tarn::app::RunService(args);
  if (command == "token") return tarn::app::RunToken(args);
  if (command == "tasks") return tarn::app::RunTasks(args);
  return Usage();
}
