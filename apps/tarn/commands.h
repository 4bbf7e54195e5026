// The subcommands of the tarn tool. Each adds itself, its options and its
// help to the command line; when it is the one chosen, its callback runs it
// and leaves the process exit code in `*code`.
#ifndef TARN_APPS_TARN_COMMANDS_H_
#define TARN_APPS_TARN_COMMANDS_H_

#include <CLI/CLI.hpp>
#include <string>

namespace tarn::app {

void AddSessionCommand(CLI::App& app, int* code);  // tarn session
void AddDbCommand(CLI::App& app, int* code);       // tarn db init|query|passwd|shell
void AddDemoCommand(CLI::App& app, int* code);     // tarn demo
void AddServiceCommand(CLI::App& app, int* code);  // tarn service
void AddTokenCommand(CLI::App& app, int* code);    // tarn token
void AddTasksCommand(CLI::App& app, int* code);    // tarn tasks [release|try]
void AddCompactCommand(CLI::App& app, int* code);  // tarn compact
void AddRegsvrCommand(CLI::App& app, int* code);   // tarn regsvr

// The system database as the commands name it: exactly one of --data DIR
// (the embedded SQLite files), --connect-file FILE or --connect CONN.
struct SystemDatabaseOption {
  std::string data_dir, connect, connect_file;
};
void AddSystemDatabaseOptions(CLI::App* command, SystemDatabaseOption* o);
// The connection string they give, without catalog for --data; false, with
// the reason in `*problem`, when none or more than one was given or the
// file cannot be read.
bool ResolveSystemDatabase(const SystemDatabaseOption& o, std::string* connect, std::string* problem);

}  // namespace tarn::app

#endif  // TARN_APPS_TARN_COMMANDS_H_
