// tarn token: signs a user on through the login service and prints the
// token, as the suite's launcher hands one to a module it starts.
#include <cstdio>

#include "commands.h"
#include "secrets.h"
#include "platform/object_registry.h"
#include "boundary/suite.h"
#include "tarn/com_error.h"

namespace tarn::app {

int RunToken(const Args& args) {
  std::string user, password, sub, acc, year, date;
  bool bad = false, password_stdin = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& flag = args[i];
    if (flag == "--password-stdin") {
      password_stdin = true;
      continue;
    }
    if (flag == "--password") {
      std::fputs("tarn token: a password is not taken on the command line, where others can read it; "
                 "use --password-stdin or answer the prompt\n",
                 stderr);
      return 2;
    }
    if (i + 1 >= args.size()) {
      bad = true;
      break;
    }
    const std::string& value = args[++i];
    if (flag == "--user") user = value;
    else if (flag == "--sub") sub = value;
    else if (flag == "--acc") acc = value;
    else if (flag == "--year") year = value;
    else if (flag == "--date") date = value;
    else bad = true;
  }
  if (bad || user.empty() || sub.empty()) {
    std::fputs("usage: tarn token --user U --sub GL [--acc 001 --year 2024] [--date YYYY-MM-DD] [--password-stdin]\n"
               "The password is asked for, or read from standard input.\n",
               stderr);
    return 2;
  }
  (void)password_stdin;  // the prompt reads standard input when it is no terminal
  if (!ReadPassword("password for " + user + ": ", &password)) {
    std::fputs("tarn token: no password on standard input\n", stderr);
    return 2;
  }
  try {
    auto ui = ObjectRegistry::Global().CreateAs<suite::LoginUI>(suite::kLoginUiProgId);
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

}  // namespace tarn::app
