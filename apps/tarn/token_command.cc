// tarn token: signs a user on through the login service and prints the
// token, as the suite's launcher hands one to a module it starts.
#include <cstdio>

#include "commands.h"
#include "platform/object_registry.h"
#include "boundary/suite.h"
#include "tarn/com_error.h"

namespace tarn::app {

int RunToken(const Args& args) {
  std::string user, password, sub, acc, year, date;
  for (size_t i = 0; i + 1 < args.size(); i += 2) {
    const std::string& flag = args[i];
    const std::string& value = args[i + 1];
    if (flag == "--user") user = value;
    else if (flag == "--password") password = value;
    else if (flag == "--sub") sub = value;
    else if (flag == "--acc") acc = value;
    else if (flag == "--year") year = value;
    else if (flag == "--date") date = value;
    else user.clear(), i = args.size();
  }
  if (args.size() % 2 != 0 || user.empty() || sub.empty()) {
    std::fputs("usage: tarn token --user U --password P --sub GL [--acc 001 --year 2024] [--date YYYY-MM-DD]\n",
               stderr);
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
    return 0;
  } catch (const ComError& e) {
    std::fprintf(stderr, "tarn token: %s\n", e.description().c_str());
    return 1;
  }
}

}  // namespace tarn::app
