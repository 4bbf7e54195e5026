// The subcommands of the tarn tool. Each takes the arguments after its own
// name and returns the process exit code.
#ifndef TARN_APPS_TARN_COMMANDS_H_
#define TARN_APPS_TARN_COMMANDS_H_

#include <string>
#include <vector>

namespace tarn::app {

using Args = std::vector<std::string>;

int RunSession(const Args& args);  // tarn session
int RunDb(const Args& args);       // tarn db init|query|passwd
int RunDemo(const Args& args);     // tarn demo
int RunService(const Args& args);  // tarn service
int RunToken(const Args& args);    // tarn token
int RunTasks(const Args& args);    // tarn tasks [release|try]
int RunCompact(const Args& args);  // tarn compact
int RunRegsvr(const Args& args);   // tarn regsvr

}  // namespace tarn::app

#endif  // TARN_APPS_TARN_COMMANDS_H_
