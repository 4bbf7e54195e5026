// tarn demo: a module's life on a demo database, told as a transcript. Two
// stations run as two `tarn session` processes with their own computer
// names; the transcript shows what each is asked and answers.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "db/connection_string.h"
#include "json_values.h"

extern char** environ;

namespace tarn::app {
namespace {

std::string SelfPath() {
  std::error_code ec;
  return std::filesystem::read_symlink("/proc/self/exe", ec).string();
}

// A child process fed line by line.
class Station {
 public:
  Station(const std::string& name, const std::string& tarn, const std::string& registry) : name_(name) {
    int in[2], out[2];
    // Close-on-exec: a later station must not hold this one's pipes open.
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, in[1]);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> env_text = {"TARN_COMPUTERNAME=" + name, "TARN_REGISTRY=" + registry};
    std::vector<char*> envp;
    for (char** e = environ; *e != nullptr; ++e) {
      std::string_view v(*e);
      if (v.rfind("TARN_COMPUTERNAME=", 0) != 0 && v.rfind("TARN_REGISTRY=", 0) != 0) envp.push_back(*e);
    }
    for (auto& e : env_text) envp.push_back(e.data());
    envp.push_back(nullptr);
    char arg0[] = "tarn", arg1[] = "session";
    char* argv[] = {arg0, arg1, nullptr};
    if (posix_spawn(&pid_, tarn.c_str(), &actions, nullptr, argv, envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    to_ = fdopen(in[1], "w");
    from_ = fdopen(out[0], "r");
  }
  ~Station() {
    if (to_) std::fclose(to_);
    if (from_) std::fclose(from_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }

  bool ok() const { return pid_ > 0 && to_ && from_; }

  // Sends one command and returns its answer.
  Json Ask(const std::string& line, bool show = true) {
    std::fprintf(to_, "%s\n", line.c_str());
    std::fflush(to_);
    char buf[65536];
    Json answer;
    if (std::fgets(buf, sizeof buf, from_)) answer = Json::parse(buf, nullptr, false);
    if (show) {
      std::string shown = line.size() > 90 ? line.substr(0, 87) + "..." : line;
      std::printf("  %s> %-44s %s\n", name_.c_str(), shown.c_str(), Brief(answer).c_str());
    }
    return answer;
  }

  // Closes the session's input: the process releases its objects and ends.
  void Finish() {
    if (to_) std::fclose(to_);
    to_ = nullptr;
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  static std::string Brief(const Json& answer) {
    if (answer.is_discarded() || answer.is_null()) return "(no answer)";
    if (answer.contains("error")) return "error " + answer["error"].dump();
    std::string text = answer.contains("result") ? answer["result"].dump() : answer.dump();
    // What came back through the arguments, past the first (the question).
    const Json& byref = answer.contains("byref") ? answer["byref"] : Json();
    if (byref.is_array() && byref.size() > 1 && answer["member"] != "Login" && answer["member"] != "ConstructLogin" &&
        answer["member"] != "TaskExec") {
      text += "   (" + Json(std::vector<Json>(byref.begin() + 1, byref.end())).dump() + ")";
    }
    if (answer.value("LogState", 0) != 0) text += "   LogState " + std::to_string(answer["LogState"].get<int>());
    const std::string share = answer.value("ShareString", "");
    if (!share.empty()) text += "   \"" + share + "\"";
    return text;
  }

  std::string name_;
  pid_t pid_ = -1;
  FILE* to_ = nullptr;
  FILE* from_ = nullptr;
};

std::string Capture(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[4096];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

void Section(const char* title) { std::printf("\n== %s\n", title); }

// Indented, so that it stands apart from the stations' answers.
void ShowOutput(const std::string& rows) {
  std::string indented;
  for (size_t start = 0; start <= rows.size();) {
    size_t end = rows.find('\n', start);
    if (end == std::string::npos) end = rows.size();
    indented += "  | " + rows.substr(start, end - start) + "\n";
    start = end + 1;
  }
  std::printf("%s", indented.c_str());
}

void ShowLoginTasks(const std::string& tarn, const std::string& dir) {
  ShowOutput(Capture(tarn + " db query --data " + dir +
                     " \"SELECT cStation, cUser_Id, cSub_Id, cAuth_Id, cTaskId FROM UA_task ORDER BY cStation\" 2>&1"));
}

void ShowWhoItIs(Station& station) {
  for (const char* member : {"cAcc_Id", "cAccName", "cIYear", "iMonth", "CurDate", "IsAdmin", "cUserId", "cUserName",
                             "cSubName", "cServer", "cSerial", "cServerSerial", "TaskId", "ValeDbPath"}) {
    station.Ask(member);
  }
  Json conn = station.Ask("ValeDbName", false);
  std::string text = conn.value("result", "");
  db::ConnectionString cs;
  if (db::ConnectionString::Parse(text, &cs).ok()) text = cs.Masked();
  std::printf("  (connection data, password masked: %s)\n", text.c_str());
}

int RunDemo(std::string dir) {
  if (dir.empty()) {
    char templ[] = "/tmp/tarn-demo-XXXXXX";
    if (mkdtemp(templ) == nullptr) {
      std::perror("tarn demo");
      return 1;
    }
    dir = templ;
  }
  const std::string tarn = SelfPath();
  const std::string registry = dir + "/registry.reg";

  Section("A demo company on the embedded SQLite database");
  std::printf("$ tarn db init --data %s --demo\n", dir.c_str());
  if (std::system((tarn + " db init --data " + dir + " --demo >/dev/null").c_str()) != 0) {
    std::fprintf(stderr, "tarn demo: the demo database could not be created\n");
    return 1;
  }
  std::printf("  account sets 001 and 002, years 2023 to 2025; users sign on with their id in lower case\n");

  Section("Station PC01: the general ledger signs ALICE on through the login interface");
  Station pc01("PC01", tarn, registry);
  if (!pc01.ok()) return 1;
  pc01.Ask("Login \"GL\" \"001\" \"2024\" \"ALICE\" \"wrong\" \"2024-03-15\"");
  pc01.Ask("ClearError");
  pc01.Ask("Login \"GL\" \"001\" \"2024\" \"ALICE\" \"alice\" \"2024-03-15\"");
  ShowWhoItIs(pc01);

  Section("PC01 asks its calendar and its company's data");
  pc01.Ask("GetPeriod \"2024-06-15\" 0 0");
  pc01.Ask("GetNatureDate 6 \"2024-01-01\" \"2024-01-01\"");
  pc01.Ask("GetAccInfo 105 null");
  pc01.Ask("GetAccInfo 103 null");
  pc01.Ask("ClosingStatus 204 \"GL\" 2023 false");

  Section("Station PC02: a launcher hands the general ledger a token for DEMO");
  const std::string token =
      Capture("echo demo | TARN_COMPUTERNAME=PC02 TARN_REGISTRY=" + registry + " " + tarn +
              " token --user DEMO --password-stdin --sub GL --acc 001 --year 2024 --date 2024-06-30");
  std::printf(
      "$ echo demo | tarn token --user DEMO --password-stdin --sub GL --acc 001 --year 2024 --date 2024-06-30\n"
      "  %s...\n",
      token.substr(0, 40).c_str());
  Station pc02("PC02", tarn, registry);
  if (!pc02.ok()) return 1;
  pc02.Ask("ConstructLogin \"" + token + "\"");
  pc02.Ask("Login \"GL\"");
  ShowWhoItIs(pc02);

  Section("Task control: PC01 opens month-end closing, which needs 001/2024 to itself");
  pc01.Ask("TaskExec \"GL0201\" -1");
  pc02.Ask("TaskExec \"GL0101\" -1");
  std::printf("$ tarn tasks --data %s\n", dir.c_str());
  ShowOutput(Capture(tarn + " tasks --data " + dir + " 2>&1"));
  std::printf("$ tarn tasks try --data %s --user DEMO --acc 001 --year 2024 --auth GL0101 --station PC02\n",
              dir.c_str());
  ShowOutput(Capture(tarn + " tasks try --data " + dir +
                     " --user DEMO --acc 001 --year 2024 --auth GL0101 --station PC02 2>&1"));
  pc01.Ask("TaskExec \"GL0201\" 0");
  pc02.Ask("TaskExec \"GL0101\" -1");
  pc02.Ask("TaskExec \"GL0101\" 0");

  Section("Login tasks in UA_task (the token-built module registered its own with its first function)");
  ShowLoginTasks(tarn, dir);

  Section("Station PC01 shuts down");
  pc01.Ask("ShutDown");
  pc01.Finish();
  ShowLoginTasks(tarn, dir);

  pc02.Finish();
  std::printf("\nThe demo database stays in %s; inspect it with `tarn db query --data %s \"...\"`.\n", dir.c_str(),
              dir.c_str());
  return 0;
}

}  // namespace

void AddDemoCommand(CLI::App& app, int* code) {
  static std::string dir;
  CLI::App* cmd = app.add_subcommand("demo", "a module's life on a demo database, step by step");
  cmd->add_option("--data", dir, "where the demo company is made (default: a new temporary directory)");
  cmd->callback([code] { *code = RunDemo(dir); });
}

}  // namespace tarn::app
