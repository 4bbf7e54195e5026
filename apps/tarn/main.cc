// tarn: the command line of the login component.
#include <cstdio>
#include <string>

#include "commands.h"
#include "secrets.h"
#include "suite/defaults.h"

#ifndef TARN_VERSION
#define TARN_VERSION "unknown"
#endif

namespace tarn::app {

void AddSystemDatabaseOptions(CLI::App* command, SystemDatabaseOption* o) {
  auto* data = command->add_option("--data", o->data_dir, "the embedded system database: its directory");
  auto* file = command->add_option("--connect-file", o->connect_file,
                                   "a file holding the connection string of a database server");
  auto* connect = command->add_option("--connect", o->connect,
                                      "the connection string itself (shows its password to anyone listing processes)");
  data->excludes(file)->excludes(connect);
  file->excludes(connect);
}

bool ResolveSystemDatabase(const SystemDatabaseOption& o, std::string* connect, std::string* problem) {
  if (!o.data_dir.empty()) {
    *connect = "Provider=SQLite;Data Source=" + o.data_dir;
    return true;
  }
  if (!o.connect_file.empty()) {
    if (ReadSecretFile(o.connect_file, connect)) return true;
    *problem = "cannot read a connection string in " + o.connect_file;
    return false;
  }
  if (!o.connect.empty()) {
    *connect = o.connect;
    return true;
  }
  *problem = "name the system database: --data DIR, --connect-file FILE or --connect CONN";
  return false;
}

}  // namespace tarn::app

int main(int argc, char** argv) {
  CLI::App app{"tarn: the sign-on and task-control component of the accounting suite, on the command line", "tarn"};
  app.set_version_flag("--version", "tarn " TARN_VERSION);
  app.require_subcommand(1);
  app.fallthrough(false);
  int code = 0;
  tarn::app::AddSessionCommand(app, &code);
  tarn::app::AddDbCommand(app, &code);
  tarn::app::AddTokenCommand(app, &code);
  tarn::app::AddTasksCommand(app, &code);
  tarn::app::AddServiceCommand(app, &code);
  tarn::app::AddCompactCommand(app, &code);
  tarn::app::AddRegsvrCommand(app, &code);
  tarn::app::AddDemoCommand(app, &code);
  // The session registers the stand-ins of the edition it hosts, and the
  // compact build stands apart from the suite; every other command works
  // with the full edition's, from before its callback runs.
  const std::string first = argc > 1 ? argv[1] : "";
  if (first != "session" && first != "compact") tarn::suite::RegisterStandIns(tarn::Edition::kFull);
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);  // --help and --version, on standard output
  } catch (const CLI::ParseError& e) {
    (void)app.exit(e);  // what was wrong, and where to read more, on standard error
    return 2;
  }
  return code;
}
