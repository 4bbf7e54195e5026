// tarn token: signs a user on through the login service and prints the
// token, as the suite's launcher hands one to a module it starts.
#include <cstdio>

#include "commands.h"
#include "secrets.h"
#include "platform/object_registry.h"
#include "boundary/suite.h"
#include "tarn/com_error.h"

namespace tarn::app {

namespace {

struct TokenOptions {
  std::string user, sub, acc, year, date;
  bool password_stdin = false;
};

int RunToken(const TokenOptions& o) {
  // Copies: the login interface takes its arguments by reference.
  std::string user = o.user, sub = o.sub, acc = o.acc, password;
  const std::string& year = o.year;
  const std::string& date = o.date;
  // The prompt reads standard input when it is no terminal.
  if (!ReadPassword("password for " + user + ": ", &password)) {
    std::fputs("tarn token: no password on standard input\n", stderr);
    return 2;
  }
  try {
    auto ui = ObjectRegistry::Global().CreateAs<boundary::LoginUI>(boundary::kLoginUiProgId);
    std::string server, serial;
    std::string date_text = year.empty() ? date : date + "@" + year;
    if (!ui->Login(sub, user, password, server, date_text, acc, serial) || !ui->SubLogin(sub)) {
      std::fprintf(stderr, "tarn token: %s\n", ui->ErrDescript().c_str());
      return 1;
    }
    std::printf("%s\n", ui->UserToken().c_str());
    // The token outlives this sign-on: the launcher's own task ends here.
    ui->SubLogout(sub);
    ui->ShutDown();
    return 0;
  } catch (const ComError& e) {
    std::fprintf(stderr, "tarn token: %s\n", e.description().c_str());
    return 1;
  }
}

}  // namespace

void AddTokenCommand(CLI::App& app, int* code) {
  static TokenOptions o;
  static std::string password;
  CLI::App* cmd = app.add_subcommand(
      "token", "sign a user on through the login service and print a token, as the suite's launcher does");
  cmd->add_option("--user", o.user, "the user id")->required();
  cmd->add_option("--sub", o.sub, "the subsystem, GL for instance")->required();
  cmd->add_option("--acc", o.acc, "the account set, 001 for instance");
  cmd->add_option("--year", o.year, "the fiscal year");
  cmd->add_option("--date", o.date, "the operating date, YYYY-MM-DD");
  cmd->add_flag("--password-stdin", o.password_stdin,
                "read the password from standard input (it is asked for otherwise)");
  // Refused with its reason: a password on a command line is readable by everyone.
  cmd->add_option("--password", password, "not accepted: use --password-stdin or answer the prompt")
      ->check([](const std::string&) {
        return std::string("a password is not taken on the command line, where others can read it");
      });
  cmd->callback([code] { *code = RunToken(o); });
}

}  // namespace tarn::app
