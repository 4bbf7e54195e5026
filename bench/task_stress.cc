// Proof across stations: N station processes sign on to one system
// database and register and release functions chosen so that every kind of
// exclusion rule conflicts; each logs, on CLOCK_MONOTONIC, the moment just
// before each registration, just after each grant or refusal and just
// before each release. An auditor then reads the logs and the rule tables
// and reports grants, refusals by code, violations (two holdings that the
// rules forbid together, both held at once) and orphan rows.
//
//   task_stress [--stations 8] [--ops 1000] [--backend sqlite|postgres] [--seed N] [--extended]
//
// With --extended the stations run the extended edition: its rules come
// from each function's cAuthType, and its registrations carry an
// authorisation class, so that pairs conflict only within a class.
//
// Exits 0 when there is no violation and no orphan row.
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "db/connection.h"
#include "suite/key_file.h"
#include "suite/login_service/password.h"
#include "suite/sysdb/schema.h"
#include "support/scratch_server.h"
#include "tarn/com_error.h"
#include "tarn/login.h"

extern char** environ;

namespace {

using tarn::Variant;
using tarn::db::Statement;

int64_t Now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// ---- The rules and the stations' menus.

struct Function {
  const char* id;
  const char* sub;
};
// Plain functions, an exclusive one in its year (XY) and in its account
// (XA), year and account locks (LY, LA), a pair (PA, PB), a subsystem lock
// that exempts one function (S3 exempts SX), and a module shut-out (M4
// shuts GL out).
//
// The extended edition reads the same intent from cAuthType: locks 1 and
// 2, pairs 0 on both sides, a subsystem-bound pair 3 (S3 with SY, through
// UA_ControlEx), and the module rule 4 on M4 and on the ledger functions it
// shuts out, so that each side checks the other.
const Function kFunctions[] = {{"F0", "GL"}, {"F1", "GL"}, {"XY", "GL"}, {"XA", "GL"}, {"LY", "GL"}, {"LA", "GL"},
                               {"PA", "AP"}, {"PB", "AP"}, {"S3", "PS"}, {"SX", "PS"}, {"SY", "PS"}, {"M4", "FA"}};
const std::map<std::string, std::string> kAuthTypes = {{"F0", "4"}, {"F1", "4"}, {"XY", "1"}, {"XA", "2"},
                                                       {"LY", "1"}, {"LA", "2"}, {"PA", "0"}, {"PB", "0"},
                                                       {"S3", "3"}, {"SY", "3"}, {"M4", "4"}};
// The classes an extended station registers under ("" for none).
const char* const kClasses[] = {"", "K1", "K2"};

struct Station {
  std::string account;
  int login_year;
  bool cycles;                                    // signs off and on again now and then
  std::vector<std::pair<std::string, int>> menu;  // function, year (0: the login year)
};

std::vector<Station> Plan(int n) {
  const std::vector<std::pair<std::string, int>> common = {
      {"F0", 0}, {"F1", 0}, {"XY", 0}, {"XY", 2026}, {"LY", 2026}, {"PA", 0},    {"PB", 0},
      {"S3", 0}, {"SX", 0}, {"SY", 0}, {"M4", 0},    {"M4", 2026}, {"F0", 2026}, {"PA", 2026}};
  std::vector<Station> plan;
  for (int i = 0; i < n; ++i) {
    Station s;
    if (i % 4 == 3) {
      // Account C: few stations, signing on and off, so that the account
      // lock is granted at times and refused at others.
      s = Station{"C", 2024, true, {{"LA", 0}, {"XA", 0}, {"F0", 0}, {"PA", 0}, {"F1", 2025}}};
    } else {
      s = Station{"A", i % 4 == 2 ? 2025 : 2024, false, common};
    }
    plan.push_back(std::move(s));
  }
  return plan;
}

// ---- Setting up the system database.

bool Exec(tarn::db::Connection& conn, const Statement& st) {
  const tarn::Status s = conn.Execute(st);
  if (!s.ok()) std::fprintf(stderr, "task_stress: %s: %s\n", std::string(st.sql()).c_str(), s.message().c_str());
  return s.ok();
}

bool CreateData(const std::string& server, int stations) {
  auto conn = tarn::db::Connection::Create();
  if (!conn->Open(server, "", "").ok() || !tarn::suite::CreateSystemDatabase(*conn).ok()) {
    std::fprintf(stderr, "task_stress: cannot create the system database on %s\n", server.c_str());
    return false;
  }
  std::string hash;
  if (!tarn::suite::HashPassword("pw", &hash).ok()) return false;
  bool ok = true;
  for (const char* acc : {"A", "C"}) {
    ok = ok && Exec(*conn, Statement("INSERT INTO UA_Account (cAcc_Id,cAcc_Name) VALUES (?,?)").Bind(acc).Bind(acc));
    for (int year : {2024, 2025, 2026}) {
      for (int m = 1; m <= 12; ++m) {
        char begin[16], end[16];
        std::snprintf(begin, sizeof begin, "%04d-%02d-01", year, m);
        std::snprintf(end, sizeof end, "%04d-%02d-28", year, m);
        ok = ok && Exec(*conn, Statement("INSERT INTO UA_Period (cAcc_Id,iYear,iId,dBegin,dEnd,bIsDelete) VALUES "
                                         "(?,?,?,?,?,0)")
                                   .Bind(acc)
                                   .Bind(year)
                                   .Bind(m)
                                   .Bind(begin)
                                   .Bind(end));
      }
      for (int i = 0; i < stations; ++i) {
        ok = ok && Exec(*conn, Statement("INSERT INTO UA_HoldAuth (cAcc_Id,iYear,cUser_Id,cAuth_Id) VALUES "
                                         "(?,?,?,'Admin')")
                                   .Bind(acc)
                                   .Bind(year)
                                   .Bind("U" + std::to_string(i)));
      }
    }
  }
  for (const char* sub : {"GL", "AP", "PS", "FA"}) {
    ok = ok && Exec(*conn, Statement("INSERT INTO UA_SubSys (cSub_Id,cSub_Name) VALUES (?,?)").Bind(sub).Bind(sub));
  }
  for (int i = 0; i < stations; ++i) {
    ok = ok && Exec(*conn, Statement("INSERT INTO UA_User (cUser_Id,cUser_Name,cPasswordHash) VALUES (?,?,?)")
                               .Bind("U" + std::to_string(i))
                               .Bind("User " + std::to_string(i))
                               .Bind(hash));
  }
  for (const Function& f : kFunctions) {
    const auto kinds = kAuthTypes.find(f.id);
    ok = ok && Exec(*conn, Statement("INSERT INTO UA_Auth (cAuth_Id,cSub_Id,cAuth_Name,cAuthType) VALUES (?,?,?,?)")
                               .Bind(f.id)
                               .Bind(f.sub)
                               .Bind(std::string("Function ") + f.id)
                               .Bind(kinds == kAuthTypes.end() ? Variant(tarn::Null{}) : Variant(kinds->second)));
    ok = ok && Exec(*conn, Statement("INSERT INTO ua_auth_base (cAuth_Id,cSub_Id,cAuth_Name,bEndGrade) VALUES "
                                     "(?,?,?,1)")
                               .Bind(f.id)
                               .Bind(f.sub)
                               .Bind(f.id));
  }
  const char* controls[] = {
      "INSERT INTO UA_control (cAuth_Id,iAuthType) VALUES ('XY',1)",
      "INSERT INTO UA_control (cAuth_Id,iAuthType) VALUES ('XA',2)",
      "INSERT INTO UA_control (cAuth_Id,iAuthType) VALUES ('LY',1)",
      "INSERT INTO UA_control (cAuth_Id,iAuthType) VALUES ('LA',2)",
      "INSERT INTO UA_control (cAuth_Id,iAuthType,cRepellent) VALUES ('PA',0,'PB')",
      "INSERT INTO UA_control (cAuth_Id,iAuthType,cNotRepellent) VALUES ('S3',3,'SX')",
      "INSERT INTO UA_control (cAuth_Id,iAuthType,cRepellentModule) VALUES ('M4',4,'GL')",
      "INSERT INTO UA_ControlEx (cAuth_Id,iAuthType) VALUES ('XY',1)",
      "INSERT INTO UA_ControlEx (cAuth_Id,iAuthType) VALUES ('XA',2)",
      "INSERT INTO UA_ControlEx (cAuth_Id,iAuthType,cRepellent) VALUES ('S3',0,'SY')",
  };
  for (const char* sql : controls) ok = ok && Exec(*conn, Statement(sql));
  return ok;
}

// ---- One station.

int RunStation(int index, int ops, const std::string& log_path, unsigned seed, bool extended) {
  const Station plan = Plan(index + 1)[static_cast<size_t>(index)];
  const tarn::Edition edition = extended ? tarn::Edition::kExtended : tarn::Edition::kFull;
  std::ofstream log(log_path);
  std::mt19937 rng(seed + static_cast<unsigned>(index) * 7919u);
  auto login = std::make_unique<tarn::clsLogin>(edition);
  auto sign_on = [&] {
    tarn::LoginParams p;
    p.sub_id = "GL";
    p.acc_id = plan.account;
    p.year_id = std::to_string(plan.login_year);
    p.user_id = "U" + std::to_string(index);
    p.password = "pw";
    p.date = std::to_string(plan.login_year) + "-03-15";
    if (!login->Login(p)) {
      std::fprintf(stderr, "station %d: sign-on refused: %s\n", index, login->ShareString().c_str());
      return false;
    }
    log << "L " << Now() << " " << plan.account << " " << plan.login_year << " GL " << login->TaskId() << "\n";
    return true;
  };
  if (!sign_on()) return 1;
  for (int op = 0; op < ops; ++op) {
    if (plan.cycles && op % 25 == 24) {
      log << "O " << Now() << "\n";
      login->ShutDown();
      login = std::make_unique<tarn::clsLogin>(edition);
      std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 20));
      if (!sign_on()) return 1;
    }
    const auto& [function, year_choice] = plan.menu[rng() % plan.menu.size()];
    const int year = year_choice == 0 ? plan.login_year : year_choice;
    const std::string klass = extended ? kClasses[rng() % std::size(kClasses)] : "";
    log << "B " << Now() << " " << function << " " << year << "\n";
    bool granted = false;
    try {
      granted = extended ? login->TaskExecEx(function, -1, static_cast<int16_t>(year_choice), klass)
                         : login->TaskExec(function, -1, static_cast<int16_t>(year_choice));
    } catch (const tarn::ComError& e) {
      log << "X " << Now() << " " << function << " " << year << " " << e.number() << "\n";
      continue;
    }
    if (!granted) {
      std::string station, running;
      if (auto record = login->GetLastErrorResID()) {
        const tarn::Array args = record->ResArg();
        if (args.items.size() == 5) station = args.items[0].ToString(), running = args.items[1].ToString();
        if (args.items.size() == 6) station = args.items[0].ToString(), running = args.items[2].ToString();
      }
      log << "F " << Now() << " " << function << " " << year << " " << login->LogState() << " "
          << (station.empty() ? "-" : station) << " " << (running.empty() ? "-" : running) << "\n";
      continue;
    }
    log << "G " << Now() << " " << function << " " << year << " " << (klass.empty() ? "-" : klass) << "\n";
    std::this_thread::sleep_for(std::chrono::microseconds(rng() % 3000));
    log << "R " << Now() << " " << function << " " << year << "\n";
    if (!login->TaskExec(function, 0)) {
      std::fprintf(stderr, "station %d: release of %s failed: %s\n", index, function.c_str(),
                   login->ShareString().c_str());
    }
  }
  log << "O " << Now() << "\n";
  login->ShutDown();
  return 0;
}

// ---- The auditor.

struct Holding {
  int station;
  std::string account, sub, auth;
  int year;
  int login_year;
  std::string login_sub;
  bool login;
  int64_t before, granted, released;  // a login: granted = signed on, released = signing off
  std::string klass;                  // the extended edition's class; "" for none
};

struct Attempt {
  int station;
  std::string auth;
  int year;
  int64_t before, after;
  int code;
  std::string blocker_station, blocker_auth;
};

struct Rules {
  std::map<std::string, std::string> sub_of;
  std::map<std::string, int> exclusive;  // UA_ControlEx: 1 year, 2 account
  std::map<std::string, int> lock;       // UA_control kinds 1 and 2
  std::set<std::pair<std::string, std::string>> pairs;
  std::map<std::string, std::set<std::string>> kind3_exempt;  // function -> exempted
  std::map<std::string, std::string> shuts;                   // function -> module
  std::map<std::string, std::set<std::string>> leaves;        // subsystem -> leaf functions
  std::map<std::string, std::vector<std::string>> kinds;      // extended: cAuthType, split
  std::set<std::pair<std::string, std::string>> sub_pairs;    // extended: UA_ControlEx kind 0

  // The extended edition's rules: those of the kinds `g` lists.
  bool RefusesExtended(const Holding& g, const Holding& h) const {
    if (g.account != h.account) return false;
    const std::vector<std::string>& list = kinds.at(g.auth);
    const bool same_class = g.klass.empty() || h.klass.empty() || h.klass == g.klass;
    if (list.front() != "1" && list.front() != "2" && !h.login) {
      const auto ex = exclusive.find(h.auth);
      if (ex != exclusive.end() && (ex->second == 2 || h.year == g.year)) return true;
    }
    for (const std::string& k : list) {
      if (k == "1" || k == "2") {
        const bool spared =
            h.login && h.station == g.station && (h.sub == g.login_sub || h.sub == "AA" || h.sub == "DP");
        if (!spared && (k == "2" || h.year == g.year)) return true;
      }
      if (h.login || h.year != g.year) continue;
      if (k == "0" && same_class && (pairs.count({g.auth, h.auth}) || pairs.count({h.auth, g.auth}))) return true;
      if (k == "3" && same_class && h.sub == g.sub &&
          (sub_pairs.count({g.auth, h.auth}) || sub_pairs.count({h.auth, g.auth}))) {
        return true;
      }
      if (k == "4") {
        const auto shut = shuts.find(h.auth);
        if (shut != shuts.end() && shut->second == g.sub) return true;
        const auto own_shut = shuts.find(g.auth);
        if (own_shut != shuts.end() && own_shut->second == h.sub) return true;
      }
    }
    return false;
  }

  // Would `g` (registering) be refused while `h` runs? The rules of the
  // component, restated on the data the run used.
  bool Refuses(const Holding& g, const Holding& h) const {
    if (g.account != h.account) return false;
    const auto lock_kind = lock.find(g.auth);
    if (lock_kind != lock.end()) {
      const bool spared = h.login && h.station == g.station && (h.sub == g.login_sub || h.sub == "AA" || h.sub == "DP");
      if (spared) return false;
      return lock_kind->second == 2 || h.year == g.year;
    }
    if (h.login) return false;  // the other rules never count logins
    // The reverse scan of the subsystem lock reads the requester's login
    // year.
    if (h.sub == g.sub && h.year == g.login_year) {
      const auto running3 = kind3_exempt.find(h.auth);
      if (running3 != kind3_exempt.end() && !running3->second.count(g.auth)) return true;
    }
    const auto ex = exclusive.find(h.auth);
    if (ex != exclusive.end() && (ex->second == 2 || (ex->second == 1 && h.year == g.year))) return true;
    if (h.year != g.year) return false;
    if (pairs.count({g.auth, h.auth}) || pairs.count({h.auth, g.auth})) return true;
    const auto shut = shuts.find(h.auth);
    if (shut != shuts.end() && shut->second == g.sub) return true;
    const auto own_shut = shuts.find(g.auth);
    if (own_shut != shuts.end() && own_shut->second == h.sub) return true;
    if (h.sub == g.sub) {
      const auto own3 = kind3_exempt.find(g.auth);
      if (own3 != kind3_exempt.end() && !own3->second.count(h.auth) && leaves.at(g.sub).count(h.auth)) {
        // Every leaf exempted: no conflict at all.
        bool any = false;
        for (const std::string& leaf : leaves.at(g.sub)) any = any || !own3->second.count(leaf);
        if (any) return true;
      }
    }
    return false;
  }
};

Rules ReadRules(tarn::db::Connection& conn) {
  Rules r;
  auto rows = [&](const char* sql) {
    tarn::db::ResultSet rs;
    if (!conn.Query(Statement(sql), &rs).ok()) std::fprintf(stderr, "task_stress: cannot read the rules\n");
    return rs;
  };
  auto text = [](const tarn::db::ResultSet& rs, size_t row, size_t col) { return rs.at(row, col).ToStringOrEmpty(); };
  tarn::db::ResultSet rs = rows("SELECT cAuth_Id, cSub_Id, cAuthType FROM UA_Auth");
  for (size_t i = 0; i < rs.rows(); ++i) {
    r.sub_of[text(rs, i, 0)] = text(rs, i, 1);
    std::vector<std::string>& list = r.kinds[text(rs, i, 0)];
    std::stringstream kinds(text(rs, i, 2).empty() ? "-1" : text(rs, i, 2));
    for (std::string k; std::getline(kinds, k, ',');) list.push_back(k);
  }
  rs = rows("SELECT cAuth_Id, cSub_Id FROM ua_auth_base WHERE bEndGrade=1");
  for (size_t i = 0; i < rs.rows(); ++i) r.leaves[text(rs, i, 1)].insert(text(rs, i, 0));
  rs = rows("SELECT cAuth_Id, iAuthType, cRepellent FROM UA_ControlEx");
  for (size_t i = 0; i < rs.rows(); ++i) {
    const int kind = rs.at(i, 1).IsNull() ? 0 : rs.at(i, 1).ToInt32();
    if (kind == 1 || kind == 2) r.exclusive[text(rs, i, 0)] = kind;
    if (kind == 0) r.sub_pairs.insert({text(rs, i, 0), text(rs, i, 2)});
  }
  rs = rows("SELECT cAuth_Id, iAuthType, cRepellent, cNotRepellent, cRepellentModule FROM UA_control");
  for (size_t i = 0; i < rs.rows(); ++i) {
    const std::string id = text(rs, i, 0);
    const int kind = rs.at(i, 1).IsNull() ? 0 : rs.at(i, 1).ToInt32();
    if (kind == 1 || kind == 2) r.lock[id] = kind;
    if (kind == 0) r.pairs.insert({id, text(rs, i, 2)});
    if (kind == 3) r.kind3_exempt[id].insert(text(rs, i, 3));
    if (kind == 4) r.shuts[id] = text(rs, i, 4);
  }
  return r;
}

struct Report {
  int64_t grants = 0, refusals = 0, raised = 0, violations = 0, both_backed_off = 0;
  std::map<int, int64_t> by_code;
};

Report Audit(const std::vector<std::string>& logs, const std::vector<Station>& plan, const Rules& rules,
             bool extended) {
  auto refuses = [&](const Holding& g, const Holding& h) {
    return extended ? rules.RefusesExtended(g, h) : rules.Refuses(g, h);
  };
  std::vector<Holding> held;
  std::vector<Attempt> refused;
  Report report;
  for (size_t s = 0; s < logs.size(); ++s) {
    std::ifstream in(logs[s]);
    std::string line;
    Holding login_now{};
    int64_t before = 0;
    std::map<std::pair<std::string, int>, Holding> open;
    while (std::getline(in, line)) {
      std::istringstream f(line);
      char kind;
      int64_t t;
      f >> kind >> t;
      if (kind == 'L') {
        login_now = Holding{static_cast<int>(s),
                            plan[s].account,
                            "GL",
                            "reg",
                            plan[s].login_year,
                            plan[s].login_year,
                            "GL",
                            true,
                            t,
                            t,
                            INT64_MAX,
                            ""};
      } else if (kind == 'O') {
        login_now.released = t;
        held.push_back(login_now);
      } else if (kind == 'B') {
        before = t;
      } else {
        std::string auth;
        int year;
        f >> auth >> year;
        if (kind == 'G') {
          std::string klass;
          f >> klass;
          open[{auth, year}] = Holding{static_cast<int>(s),
                                       plan[s].account,
                                       rules.sub_of.at(auth),
                                       auth,
                                       year,
                                       plan[s].login_year,
                                       "GL",
                                       false,
                                       before,
                                       t,
                                       0,
                                       klass == "-" ? "" : klass};
          ++report.grants;
        } else if (kind == 'R') {
          Holding h = open[{auth, year}];
          h.released = t;
          held.push_back(h);
        } else if (kind == 'F') {
          Attempt a{static_cast<int>(s), auth, year, before, t, 0, "", ""};
          f >> a.code >> a.blocker_station >> a.blocker_auth;
          refused.push_back(a);
          ++report.refusals;
          ++report.by_code[a.code];
        } else if (kind == 'X') {
          ++report.raised;
        }
      }
    }
  }
  // A grant is a violation when a holding it may not run beside was held
  // all through its registration (so the registration saw it), or when
  // both were registered at once and the rules forbid them both ways.
  for (const Holding& g : held) {
    if (g.login) continue;
    for (const Holding& h : held) {
      if (&g == &h || h.station == g.station) continue;
      const bool overlap = h.granted < g.released && g.granted < h.released;
      if (!overlap) continue;
      const bool h_all_through = h.granted < g.before && g.granted < h.released;
      const bool concurrent = !h.login && h.before < g.granted && g.before < h.granted;
      if ((h_all_through && refuses(g, h)) || (concurrent && refuses(g, h) && refuses(h, g))) {
        ++report.violations;
        std::fprintf(stderr, "violation: station %d %s/%d granted at %lld beside station %d %s/%d\n", g.station,
                     g.auth.c_str(), g.year, static_cast<long long>(g.granted), h.station, h.auth.c_str(), h.year);
      }
    }
  }
  // Both sides of one conflict backed off: two overlapping refusals, each
  // naming the other's function.
  for (size_t i = 0; i < refused.size(); ++i) {
    for (size_t j = i + 1; j < refused.size(); ++j) {
      const Attempt &a = refused[i], &b = refused[j];
      if (a.station == b.station || a.before >= b.after || b.before >= a.after) continue;
      if (a.blocker_auth == b.auth && b.blocker_auth == a.auth &&
          a.blocker_station == "ST" + std::to_string(b.station) &&
          b.blocker_station == "ST" + std::to_string(a.station)) {
        ++report.both_backed_off;
      }
    }
  }
  return report;
}

int Coordinate(int stations, int ops, const std::string& server, unsigned seed, const std::string& dir, bool extended) {
  const std::string system_db = server + ";Initial Catalog=ValeSystem";
  if (!CreateData(server, stations)) return 2;
  const std::string key = dir + "/token.key", service_key = dir + "/service.key", registry = dir + "/registry.reg";
  if (!tarn::suite::CreateKeyFile(key).ok() || !tarn::suite::CreateKeyFile(service_key).ok()) return 2;
  std::ofstream(registry)
      << "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\ValeSoft\\WF\\Tarn]\n"
      << "\"SystemDatabase\"=\"" << system_db << "\"\n\"TokenKeyFile\"=\"" << key << "\"\n"
      << "\"ServiceKeyFile\"=\"" << service_key << "\"\n\"LeaseSeconds\"=\"3600\"\n";

  const std::vector<Station> plan = Plan(stations);
  std::vector<pid_t> pids;
  std::vector<std::string> logs;
  char self[4096] = {};
  if (readlink("/proc/self/exe", self, sizeof self - 1) < 0) return 2;
  const auto start = std::chrono::steady_clock::now();
  // Progress goes to standard error; the report alone to standard output.
  std::fprintf(stderr, "task_stress: %d stations, %d registrations each...\n", stations, ops);
  for (int i = 0; i < stations; ++i) {
    logs.push_back(dir + "/station" + std::to_string(i) + ".log");
    std::vector<std::string> args{self,
                                  "station",
                                  std::to_string(i),
                                  std::to_string(ops),
                                  logs.back(),
                                  std::to_string(seed),
                                  extended ? "extended" : "full"};
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.push_back(*e);
    env.push_back("TARN_REGISTRY=" + registry);
    env.push_back("TARN_COMPUTERNAME=ST" + std::to_string(i));
    std::vector<char*> cargs, cenv;
    for (std::string& a : args) cargs.push_back(a.data());
    for (std::string& e : env) cenv.push_back(e.data());
    cargs.push_back(nullptr);
    cenv.push_back(nullptr);
    pid_t pid;
    if (posix_spawn(&pid, self, nullptr, nullptr, cargs.data(), cenv.data()) != 0) return 2;
    pids.push_back(pid);
  }
  int failed = 0;
  for (size_t done = 0; done < pids.size(); ++done) {
    int status = 0;
    waitpid(pids[done], &status, 0);
    failed += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::fprintf(stderr, "task_stress: station %zu of %zu finished\n", done + 1, pids.size());
  }
  std::fputs("task_stress: auditing the logs...\n", stderr);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  auto conn = tarn::db::Connection::Create();
  if (!conn->Open(system_db, "", "").ok()) return 2;
  const Rules rules = ReadRules(*conn);
  const Report report = Audit(logs, plan, rules, extended);
  tarn::db::ResultSet rs;
  int64_t orphans = -1;
  if (conn->Query(Statement("SELECT count(*) FROM UA_task"), &rs).ok() && rs.rows()) {
    orphans = static_cast<int64_t>(rs.at(0, 0).ToDouble());
  }
  std::printf("%s edition: stations %d, registrations %d each, %.1f s\n", extended ? "extended" : "full", stations, ops,
              seconds);
  std::printf("grants %lld, refusals %lld (", static_cast<long long>(report.grants),
              static_cast<long long>(report.refusals));
  bool first = true;
  for (const auto& [code, n] : report.by_code) {
    std::printf("%scode %d: %lld", first ? "" : ", ", code, static_cast<long long>(n));
    first = false;
  }
  std::printf("), raised %lld\n", static_cast<long long>(report.raised));
  std::printf("throughput %.0f registrations/s; both sides of one conflict backed off %lld times\n",
              static_cast<double>(report.grants + report.refusals) / seconds,
              static_cast<long long>(report.both_backed_off));
  std::printf("violations %lld, orphan rows %lld, stations failed %d\n", static_cast<long long>(report.violations),
              static_cast<long long>(orphans), failed);
  return report.violations == 0 && orphans == 0 && failed == 0 && report.grants > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 7 && std::string(argv[1]) == "station") {
    return RunStation(std::atoi(argv[2]), std::atoi(argv[3]), argv[4], static_cast<unsigned>(std::atoi(argv[5])),
                      std::string(argv[6]) == "extended");
  }
  int stations = 8, ops = 1000;
  unsigned seed = 1;
  std::string backend = "sqlite";
  bool extended = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--extended") {
      extended = true;
      continue;
    }
    if (i + 1 >= argc) break;
    const std::string a = argv[i], v = argv[++i];
    if (a == "--stations")
      stations = std::max(1, std::atoi(v.c_str()));
    else if (a == "--ops")
      ops = std::max(1, std::atoi(v.c_str()));
    else if (a == "--seed")
      seed = static_cast<unsigned>(std::atoi(v.c_str()));
    else if (a == "--backend")
      backend = v;
  }
  if (backend != "sqlite" && backend != "postgres") {
    std::fprintf(stderr,
                 "usage: task_stress [--stations N] [--ops N] [--seed N] [--backend sqlite|postgres] [--extended]\n");
    return 2;
  }
  std::string skip;
  auto server = tarn::testing::ScratchServer::Make(
      backend == "sqlite" ? tarn::testing::ScratchServer::Kind::kSqlite : tarn::testing::ScratchServer::Kind::kPostgres,
      &skip);
  if (!server) {
    std::printf("skipped: %s\n", skip.c_str());
    return 77;
  }
  char tmpl[] = "/tmp/tarn-stress.XXXXXX";
  if (!mkdtemp(tmpl)) return 2;
  const std::string dir = tmpl;
  const int rc = Coordinate(stations, ops, server->server(), seed, dir, extended);
  if (rc == 0)
    std::filesystem::remove_all(dir);
  else
    std::fprintf(stderr, "station logs kept in %s\n", dir.c_str());
  return rc;
}
