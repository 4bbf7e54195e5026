// tarn db: create the system database (with the demo company if asked) and
// run single statements against it.
//
//   tarn db init  (--data DIR | --connect-file FILE | --connect CONN) [--demo]
//   tarn db query (...) [--bind VALUE]... [--json | --csv] "<statement>"
//   tarn db passwd (...) USER
//   tarn db shell --data DIR        the stock sqlite3 shell, with our collations loaded
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "db/connection.h"
#include "db/connection_string.h"
#include "suite/sysdb/demo_data.h"
#include "suite/sysdb/schema.h"
#include "db_init.h"
#include "json_values.h"
#include "secrets.h"

namespace tarn::app {
namespace {

struct Options {
  SystemDatabaseOption db;
  std::string data_dir, connect;  // resolved from `db`
  bool demo = false, json = false, csv = false;
  std::vector<std::string> binds;
  std::string statement;
};

std::string Masked(const std::string& connection_string) {
  db::ConnectionString cs;
  return db::ConnectionString::Parse(connection_string, &cs).ok() ? cs.Masked() : std::string("(unreadable)");
}

int Report(const char* what, const db::Connection& conn, const Status& s) {
  std::fprintf(stderr, "tarn db %s: %s\n", what, s.message().c_str());
  for (const db::DbError& e : conn.Errors()) {
    if (e.description != s.message() || e.native_error != 0) {
      std::fprintf(stderr, "  error %d (native %d%s%s): %s\n", e.number, e.native_error,
                   e.sql_state.empty() ? "" : ", SQLSTATE ", e.sql_state.c_str(), e.description.c_str());
    }
  }
  return 1;
}

bool MakeDirectories(const std::string& path) {
  std::string partial;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find('/', pos + 1);
    partial = path.substr(0, pos);
    if (partial.empty()) continue;
    if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

int Init(const Options& o) {
  // Everything init writes holds keys, hashes or the data itself: readable
  // by its owner only, the database files and their journals included.
  umask(077);
  DbTarget target;
  target.demo = o.demo;
  if (!o.data_dir.empty()) {
    if (!MakeDirectories(o.data_dir)) {
      std::fprintf(stderr, "tarn db init: cannot create %s: %s\n", o.data_dir.c_str(), std::strerror(errno));
      return 1;
    }
    target.data_dir = o.data_dir;
    target.connection_string = "Provider=SQLite;Data Source=" + o.data_dir;
  } else {
    // The catalog does not exist yet: the last Initial Catalog wins, so an
    // empty one connects to the server's default.
    target.connection_string = o.connect + ";Initial Catalog=";
  }
  auto conn = db::Connection::Create();
  Status s = conn->Open(target.connection_string, "", "");
  if (!s.ok()) return Report("init", *conn, s);
  s = suite::CreateSystemDatabase(*conn);
  if (!s.ok()) return Report("init", *conn, s);
  std::printf("created %s on %s\n", suite::kSystemCatalog, Masked(target.connection_string).c_str());
  if (o.demo) {
    // Progress on standard error: on a server this takes a while.
    std::fputs("loading the demo company...\n", stderr);
    s = suite::LoadDemoData(*conn);
    if (!s.ok()) return Report("init", *conn, s);
    std::printf("loaded the demo company: account sets 001 and 002, years 2023 to 2025\n");
    s = suite::CreateCompactHostDatabase(*conn);
    if (!s.ok()) return Report("init", *conn, s);
    std::printf("created %s with an empty sys_path, for the compact dialog (tarn compact)\n",
                suite::kCompactHostCatalog);
  }
  conn->Close();
  return InitSignOnMaterial(target);
}

std::string Text(const Variant& v) {
  if (v.IsNull()) return "NULL";
  if (v.IsEmpty()) return "";
  return v.ToString();
}

// A CSV field: quoted when it holds a separator, a quote or a line break.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

int Query(const Options& o) {
  const std::string conn_str =
      o.data_dir.empty() ? o.connect : "Provider=SQLite;Data Source=" + o.data_dir + ";Initial Catalog=ValeSystem";
  auto conn = db::Connection::Create();
  Status s = conn->Open(conn_str, "", "");
  if (!s.ok()) return Report("query", *conn, s);
  db::Statement st(o.statement);
  for (const std::string& b : o.binds) st.Bind(b);
  db::ResultSet rs;
  int64_t affected = -1;
  s = conn->Query(st, &rs, &affected);
  if (!s.ok()) return Report("query", *conn, s);
  if (!rs.columns) {
    if (o.json) {
      std::printf("%s\n", Json{{"rows_affected", affected}}.dump().c_str());
    } else if (affected >= 0) {
      std::printf("(%lld rows affected)\n", static_cast<long long>(affected));
    }
    return 0;
  }
  if (o.json) {
    // One object per row, keyed by column, values as JSON types.
    Json rows = Json::array();
    for (size_t r = 0; r < rs.rows(); ++r) {
      Json row = Json::object();
      for (size_t c = 0; c < rs.width(); ++c) row[(*rs.columns)[c].name] = ToJson(rs.at(r, c));
      rows.push_back(std::move(row));
    }
    std::printf("%s\n", rows.dump(2).c_str());
    return 0;
  }
  const char* separator = o.csv ? "," : "\t";
  auto field = [&](const std::string& text) { return o.csv ? CsvField(text) : text; };
  std::string line;
  for (size_t c = 0; c < rs.width(); ++c) line += (c ? separator : "") + field((*rs.columns)[c].name);
  std::printf("%s\n", line.c_str());
  for (size_t r = 0; r < rs.rows(); ++r) {
    line.clear();
    // In CSV, NULL is the empty field, as spreadsheets read it.
    for (size_t c = 0; c < rs.width(); ++c) {
      const Variant& v = rs.at(r, c);
      line += (c ? separator : "") + field(o.csv && v.IsNull() ? std::string() : Text(v));
    }
    std::printf("%s\n", line.c_str());
  }
  return 0;
}

// The collations of our SQLite files (text compared as SQL Server compares
// it, dates by their value) as a loadable extension beside the tool.
std::string CollationExtension() {
  if (const char* path = std::getenv("TARN_SQLITE_EXTENSION"); path && *path) return path;
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "";
  self[n] = '\0';
  std::string bin = self;
  bin.resize(bin.rfind('/'));
  for (const std::string& libdir : {std::string("/../lib"), std::string("/../" TARN_INSTALL_LIBDIR)}) {
    std::string candidate = bin + libdir + "/libtarncollation.so";
    if (access(candidate.c_str(), R_OK) == 0) return candidate;
  }
  return "";
}

int Shell(const Options& o) {
  if (o.data_dir.empty()) {
    std::fputs("tarn db shell: the stock sqlite3 shell opens the embedded database: give --data DIR\n", stderr);
    return 2;
  }
  const std::string file = o.data_dir + "/valesystem.db";
  if (access(file.c_str(), R_OK) != 0) {
    std::fprintf(stderr, "tarn db shell: no system database in %s (tarn db init --data %s)\n", o.data_dir.c_str(),
                 o.data_dir.c_str());
    return 1;
  }
  const std::string extension = CollationExtension();
  if (extension.empty()) {
    std::fputs("tarn db shell: libtarncollation.so not found beside tarn (or set TARN_SQLITE_EXTENSION)\n", stderr);
    return 1;
  }
  const std::string load = ".load " + extension;
  execlp("sqlite3", "sqlite3", "-cmd", load.c_str(), file.c_str(), static_cast<char*>(nullptr));
  std::fprintf(stderr, "tarn db shell: cannot run sqlite3: %s (Debian's package sqlite3)\n", std::strerror(errno));
  return 1;
}

}  // namespace

void AddDbCommand(CLI::App& app, int* code) {
  static Options o;
  CLI::App* db = app.add_subcommand("db", "the system database: create it, query it, set passwords, open a shell");
  db->require_subcommand(1);
  // Each subcommand resolves the database it was given, then runs.
  auto run = [code](const char* what, int (*command)(const Options&)) {
    return [code, what, command] {
      std::string connect, problem;
      if (!ResolveSystemDatabase(o.db, &connect, &problem)) {
        std::fprintf(stderr, "tarn db %s: %s\n", what, problem.c_str());
        *code = 2;
        return;
      }
      o.data_dir = o.db.data_dir;
      o.connect = o.data_dir.empty() ? connect : "";
      *code = command(o);
    };
  };

  CLI::App* init = db->add_subcommand("init", "create the system database, with the demo company if asked");
  AddSystemDatabaseOptions(init, &o.db);
  init->add_flag("--demo", o.demo, "load the demo company: two account sets, three years, users and rules");
  init->callback(run("init", Init));

  CLI::App* query = db->add_subcommand("query", "run one statement, written in T-SQL with ? for each --bind value");
  AddSystemDatabaseOptions(query, &o.db);
  query->add_option("--bind", o.binds, "a value for the next ?, in order (repeat it)")->expected(1)->take_all();
  auto* json = query->add_flag("--json", o.json, "rows as a JSON array of objects");
  query->add_flag("--csv", o.csv, "rows as CSV with a header line")->excludes(json);
  query->add_option("STATEMENT", o.statement, "the statement")->required();
  query->callback(run("query", Query));

  AddDbPasswdCommand(db, code);

  CLI::App* shell = db->add_subcommand("shell", "the stock sqlite3 shell on the embedded system database");
  shell->add_option("--data", o.db.data_dir, "the directory of the embedded database")->required();
  shell->callback(run("shell", Shell));
}

}  // namespace tarn::app
