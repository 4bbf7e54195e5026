// tarn tasks: the lock viewer and its administration.
//
//   tarn tasks         (--data DIR | --connect-file FILE | --connect CONN) [--acc A] [--year Y] [--json]
//   tarn tasks release (...) --task-id T [--auth A]
//   tarn tasks try     (...) --user U --acc A --year Y --auth F [--effective-year Y] [--station S]
//                      [--sub GL] [--admin] [--strict] [--extended [--class C]]
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "commands.h"
#include "core/identity.h"
#include "core/thread_state.h"
#include "db/backend.h"
#include "db/connection.h"
#include "platform/text.h"
#include "resources/error_codes.h"
#include "resources/res_service.h"
#include "secrets.h"
#include "tarn/com_error.h"
#include "tasks/task_exec.h"

namespace tarn::app {
namespace {

using Json = nlohmann::ordered_json;
using db::Statement;

int Problem(const std::string& problem) {
  std::fprintf(stderr, "tarn tasks: %s\n", problem.c_str());
  return 2;
}

struct Options {
  std::string connect;
  std::string acc, year, task_id, auth, user, station, sub = "GL";
  std::string effective_year, class_code;
  bool json = false, admin = false, strict = false, extended = false;
};

// The system database, or a clear error.
db::ConnectionPtr Open(const std::string& connect) {
  auto conn = db::Connection::Create();
  Status s = conn->Open(connect, "", "");
  if (s.ok() && conn->CurrentCatalog().empty()) s = conn->Execute(Statement("USE ValeSystem"));
  if (!s.ok()) {
    std::fprintf(stderr, "tarn tasks: cannot open the system database: %s\n", s.message().c_str());
    return nullptr;
  }
  return conn;
}

std::string Text(const Variant& v) { return v.IsNull() || v.IsEmpty() ? std::string() : v.ToString(); }

int List(const Options& o) {
  db::ConnectionPtr conn = Open(o.connect);
  if (!conn) return 1;
  int32_t year = 0;
  if (!o.year.empty()) {
    try {
      year = Variant(o.year).ToInt32();
    } catch (const ComError&) {
      return Problem("--year takes a year");
    }
  }
  db::ResultSet rows;
  const Status s = conn->Query(
      Statement("SELECT t.cStation, t.cUser_Id, t.cAcc_Id, t.iYear, t.cSub_Id, t.cAuth_Id, a.cAuth_Name, t.cTaskId, "
                "t.iLogId, l.dInTime FROM UA_task t with(nolock) LEFT JOIN UA_Auth a ON a.cAuth_Id = t.cAuth_Id "
                "LEFT JOIN UA_log l ON l.iLogId = t.iLogId AND l.cAuth_Id = t.cAuth_Id AND l.dOutTime IS NULL "
                "WHERE (? = '' OR t.cAcc_Id = ?) AND (? = 0 OR t.iYear = ?) "
                "ORDER BY t.cAcc_Id, t.iYear, t.cStation, t.cTaskId, t.cAuth_Id")
          .Bind(o.acc)
          .Bind(o.acc)
          .Bind(year)
          .Bind(year),
      &rows);
  if (!s.ok()) {
    std::fprintf(stderr, "tarn tasks: %s\n", s.message().c_str());
    return 1;
  }
  // Login tasks first, then the functions they hold.
  for (const bool logins : {true, false}) {
    bool any = false;
    for (size_t r = 0; r < rows.rows(); ++r) {
      const bool login = EqualsNoCase(Text(rows.at(r, 5)), "reg");
      if (login != logins) continue;
      const std::string since = rows.at(r, 9).IsNull() ? std::string() : FormatDateTime(rows.at(r, 9).ToDate());
      if (o.json) {
        Json line{{"kind", login ? "login" : "function"},
                  {"station", Text(rows.at(r, 0))},
                  {"user", Text(rows.at(r, 1))},
                  {"account", Text(rows.at(r, 2))},
                  {"year", Text(rows.at(r, 3))},
                  {"subsystem", Text(rows.at(r, 4))},
                  {"function", Text(rows.at(r, 5))},
                  {"name", Text(rows.at(r, 6))},
                  {"task_id", Text(rows.at(r, 7))},
                  {"log_id", Text(rows.at(r, 8))},
                  {"since", since}};
        std::printf("%s\n", line.dump(-1, ' ', false, Json::error_handler_t::replace).c_str());
        continue;
      }
      if (!any) std::printf("%s\n", logins ? "logins" : "functions");
      any = true;
      std::printf("  %-10s %-8s %s/%s %-3s %-8s %-24s task %s log %s since %s\n", Text(rows.at(r, 0)).c_str(),
                  Text(rows.at(r, 1)).c_str(), Text(rows.at(r, 2)).c_str(), Text(rows.at(r, 3)).c_str(),
                  Text(rows.at(r, 4)).c_str(), Text(rows.at(r, 5)).c_str(),
                  (login ? std::string("(signed on)") : Text(rows.at(r, 6))).c_str(), Text(rows.at(r, 7)).c_str(),
                  Text(rows.at(r, 8)).c_str(), since.empty() ? "?" : since.c_str());
    }
    if (!any && !o.json) std::printf("%s: none\n", logins ? "logins" : "functions");
  }
  return 0;
}

// The statements of a release, for each row of the task (and function).
int Release(const Options& o) {
  if (o.task_id.empty()) return Problem("release needs --task-id: it never frees everything at once");
  db::ConnectionPtr conn = Open(o.connect);
  if (!conn) return 1;
  db::ResultSet rows;
  Status s = conn->Query(Statement("SELECT cAuth_Id, iLogId, cStation, cUser_Id FROM UA_task with(nolock) WHERE "
                                   "cTaskId=? AND (?='' OR cAuth_Id=?)")
                             .Bind(o.task_id)
                             .Bind(o.auth)
                             .Bind(o.auth),
                         &rows);
  if (!s.ok()) {
    std::fprintf(stderr, "tarn tasks release: %s\n", s.message().c_str());
    return 1;
  }
  if (rows.rows() == 0) {
    std::printf("nothing held by task %s%s\n", o.task_id.c_str(), o.auth.empty() ? "" : (" for " + o.auth).c_str());
    return 0;
  }
  for (size_t r = 0; r < rows.rows() && s.ok(); ++r) {
    const std::string auth = Text(rows.at(r, 0));
    const double log_id = rows.at(r, 1).IsNull() ? 0 : rows.at(r, 1).ToDouble();
    s = conn->Execute(Statement("DELETE  FROM UA_task with(rowlock) WHERE ctaskid=? AND cauth_id=? and ilogid=?")
                          .Bind(o.task_id)
                          .Bind(auth)
                          .Bind(log_id));
    if (s.ok() && log_id > 0) {
      s = conn->Execute(
          Statement("UPDATE UA_log with(rowlock) SET Success=1,douttime= getdate() WHERE ilogid=? AND cAuth_Id=?")
              .Bind(log_id)
              .Bind(auth));
    }
    if (s.ok()) {
      std::printf("released %s of task %s (station %s, user %s, log %s)\n", auth.c_str(), o.task_id.c_str(),
                  Text(rows.at(r, 2)).c_str(), Text(rows.at(r, 3)).c_str(), FormatNumber(log_id).c_str());
    }
  }
  if (!s.ok()) {
    std::fprintf(stderr, "tarn tasks release: %s\n", s.message().c_str());
    return 1;
  }
  return 0;
}

// A dry run of TaskExec for a login of these values: the steps it takes
// after the management service's admission, on the system database,
// writing nothing.
int Try(const Options& o) {
  if (o.user.empty() || o.acc.empty() || o.year.empty() || o.auth.empty()) {
    return Problem("try needs --user, --acc, --year and --auth");
  }
  int16_t effective_year = 0;
  try {
    (void)Variant(o.year).ToInt16();
    if (!o.effective_year.empty()) effective_year = Variant(o.effective_year).ToInt16();
  } catch (const ComError&) {
    return Problem("--year and --effective-year take a year");
  }
  db::ConnectionPtr conn = Open(o.connect);
  if (!conn) return 1;
  core::Identity who(o.extended ? Edition::kExtended : Edition::kFull);
  who.cAcc_Id = o.acc;
  who.cIYear = o.year;
  who.cUserId = o.user;
  who.cSub_Id = AsciiUpper(o.sub);
  who.IsAdmin = o.admin;
  // The station that asks: the computer's name, or the web client's where
  // the subsystem takes that.
  who.cWebClient = o.station;
  if (!o.station.empty()) core::Thread().computer_name = o.station;
  try {
    const tasks::Verdict v = tasks::TryTaskExec(
        who, *conn, o.auth, o.strict ? tasks::kRegisterStrict : tasks::kRegister, effective_year, o.class_code);
    if (v.granted) {
      if (v.never_checked) {
        std::printf("granted: %s is never checked\n", o.auth.c_str());
      } else {
        std::printf("granted: %s %s for %s in %s/%d from %s\n", o.auth.c_str(), v.auth_name.c_str(), o.user.c_str(),
                    o.acc.c_str(), v.year, v.station.c_str());
      }
      return 0;
    }
    std::string text;
    if (v.code == resources::kAuthIdUnknown) {
      text = o.auth + " is no function";
    } else if (v.code == resources::kAuthNotHeld) {
      text = o.user + " does not hold " + o.auth + " in " + o.acc + "/" + std::to_string(v.year);
    } else if (v.args.empty()) {
      text = resources::SharedResService().GetResString(v.res_id);
    } else {
      text = resources::SharedResService().GetResFormatString(v.res_id, ArgsFrom(v.args));
    }
    std::printf("refused (code %d, %s): %s\n", v.code, v.res_id.c_str(), text.c_str());
    return 1;
  } catch (const ComError& e) {
    std::fprintf(stderr, "tarn tasks try: %s\n", e.description().c_str());
    return 1;
  }
}

}  // namespace

void AddTasksCommand(CLI::App& app, int* code) {
  static Options o;
  static SystemDatabaseOption db;
  // The system database, with its catalog; a problem ends the command.
  auto run = [code](int (*command)(const Options&)) {
    std::string connect, problem;
    if (!ResolveSystemDatabase(db, &connect, &problem)) {
      std::fprintf(stderr, "tarn tasks: %s\n", problem.c_str());
      *code = 2;
      return;
    }
    o.connect = db.data_dir.empty() ? connect : connect + ";Initial Catalog=ValeSystem";
    *code = command(o);
  };
  CLI::App* list = app.add_subcommand("tasks", "who holds which function where and since when; free or try one");
  AddSystemDatabaseOptions(list, &db);
  list->add_option("--acc", o.acc, "only this account set");
  list->add_option("--year", o.year, "only this fiscal year");
  list->add_flag("--json", o.json, "one JSON document instead of the table");
  list->require_subcommand(0, 1);

  CLI::App* release = list->add_subcommand("release", "free what a station left behind");
  AddSystemDatabaseOptions(release, &db);
  release->add_option("--task-id", o.task_id, "the task whose rows go")->required();
  release->add_option("--auth", o.auth, "only this function of it");
  release->callback([run] { run(Release); });

  CLI::App* attempt = list->add_subcommand("try", "would the function be granted now, and if not, who refuses it");
  AddSystemDatabaseOptions(attempt, &db);
  attempt->add_option("--user", o.user, "the user who asks")->required();
  attempt->add_option("--acc", o.acc, "the account set")->required();
  attempt->add_option("--year", o.year, "the fiscal year signed on to")->required();
  attempt->add_option("--effective-year", o.effective_year,
                      "the year the function is asked for (TaskExec's iYear; default: the year signed on to)");
  attempt->add_option("--auth", o.auth, "the function")->required();
  attempt->add_option("--station", o.station, "the station that asks");
  attempt->add_option("--sub", o.sub, "the subsystem of the module that asks (default GL)");
  attempt->add_flag("--admin", o.admin, "the user signed on as an administrator (IsAdmin)");
  attempt->add_flag("--strict", o.strict, "ask as mode 3 does: other stations' logins into the subsystem count");
  CLI::Option* extended = attempt->add_flag("--extended", o.extended, "decide as the extended edition does");
  attempt->add_option("--class", o.class_code, "the extended edition's authorisation class (TaskExecEx)")
      ->needs(extended);
  attempt->callback([run] { run(Try); });

  list->callback([run, list] {
    if (list->get_subcommands().empty()) run(List);
  });
}

}  // namespace tarn::app
