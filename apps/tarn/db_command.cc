// tarn db: create the system database (with the demo company if asked) and
// run single statements against it.
//
//   tarn db init  (--data DIR | --connect "<connection string>") [--demo]
//   tarn db query (--data DIR | --connect "<connection string>") [--bind VALUE]... "<statement>"
//   tarn db passwd ...
#include <sys/stat.h>

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
#include "secrets.h"

namespace tarn::app {
namespace {

int Usage() {
  std::fputs(
      "usage: tarn db init  (--data DIR | --connect-file FILE | --connect \"<connection string>\") [--demo]\n"
      "       tarn db query (--data DIR | --connect-file FILE | --connect \"<connection string>\")\n"
      "                     [--bind VALUE]... \"<statement>\"\n"
      "       tarn db passwd ...\n"
      "A statement is written in T-SQL with ? for each --bind value, in order.\n",
      stderr);
  return 2;
}

struct Options {
  std::string data_dir;
  std::string connect;
  bool demo = false;
  std::vector<std::string> binds;
  std::vector<std::string> positional;
};

bool ParseOptions(const Args& args, size_t first, Options* o) {
  for (size_t i = first; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= args.size()) return false;
      *out = args[++i];
      return true;
    };
    if (a == "--data") {
      if (!value(&o->data_dir)) return false;
    } else if (a == "--connect") {
      if (!value(&o->connect)) return false;
    } else if (a == "--connect-file") {
      std::string file;
      if (!value(&file) || !ReadSecretFile(file, &o->connect)) return false;
    } else if (a == "--bind") {
      std::string v;
      if (!value(&v)) return false;
      o->binds.push_back(v);
    } else if (a == "--demo") {
      o->demo = true;
    } else if (a.rfind("--", 0) == 0) {
      return false;
    } else {
      o->positional.push_back(a);
    }
  }
  return o->data_dir.empty() != o->connect.empty();  // exactly one of them
}

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

int Query(const Options& o) {
  if (o.positional.size() != 1) return Usage();
  const std::string conn_str =
      o.data_dir.empty() ? o.connect : "Provider=SQLite;Data Source=" + o.data_dir + ";Initial Catalog=ValeSystem";
  auto conn = db::Connection::Create();
  Status s = conn->Open(conn_str, "", "");
  if (!s.ok()) return Report("query", *conn, s);
  db::Statement st(o.positional[0]);
  for (const std::string& b : o.binds) st.Bind(b);
  db::ResultSet rs;
  int64_t affected = -1;
  s = conn->Query(st, &rs, &affected);
  if (!s.ok()) return Report("query", *conn, s);
  if (!rs.columns) {
    if (affected >= 0) std::printf("(%lld rows affected)\n", static_cast<long long>(affected));
    return 0;
  }
  std::string line;
  for (size_t c = 0; c < rs.width(); ++c) line += (c ? "\t" : "") + (*rs.columns)[c].name;
  std::printf("%s\n", line.c_str());
  for (size_t r = 0; r < rs.rows(); ++r) {
    line.clear();
    for (size_t c = 0; c < rs.width(); ++c) line += (c ? "\t" : "") + Text(rs.at(r, c));
    std::printf("%s\n", line.c_str());
  }
  return 0;
}

}  // namespace

int RunDb(const Args& args) {
  if (args.empty()) return Usage();
  if (args[0] == "passwd") return RunDbPasswd(Args(args.begin() + 1, args.end()));
  Options o;
  if (!ParseOptions(args, 1, &o)) return Usage();
  if (args[0] == "init") return o.positional.empty() ? Init(o) : Usage();
  if (args[0] == "query") return Query(o);
  return Usage();
}

}  // namespace tarn::app
