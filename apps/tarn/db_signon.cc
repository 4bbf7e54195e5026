// Sign-on material of `tarn db init`: the token key, the registry file that
// names the system database for the login service, and the demo users'
// passwords; and `tarn db passwd`.
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "db/connection.h"
#include "db/connection_string.h"
#include "db_init.h"
#include "platform/secret_file.h"
#include "platform/text.h"
#include "secrets.h"
#include "suite/login_service/password.h"
#include "suite/key_file.h"
#include "suite/login_service/token.h"
#include "suite/settings.h"

namespace tarn::app {
namespace {

// A value in the registry file's quoting.
std::string RegQuote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out + "\"";
}

std::string SystemDatabase(const std::string& server_connection_string) {
  return server_connection_string + ";Initial Catalog=ValeSystem";
}

Status SetPassword(db::Connection& conn, const std::string& user, const std::string& password, bool* found) {
  std::string hash;
  Status s = suite::HashPassword(password, &hash);
  if (!s.ok()) return s;
  int64_t affected = 0;
  s = conn.Execute(db::Statement("UPDATE UA_User SET cPasswordHash = ? WHERE cUser_Id = ?").Bind(hash).Bind(user),
                   &affected);
  *found = affected > 0;
  return s;
}

// The backend the demo's SQL Server provider stands for: the one the demo
// was made on, when it is ours.
std::string DemoProviderAlias(const DbTarget& target) {
  if (!target.demo) return "";
  if (!target.data_dir.empty()) return "SQLite";
  db::ConnectionString cs;
  if (!db::ConnectionString::Parse(target.connection_string, &cs).ok()) return "";
  const std::string provider = AsciiLower(cs.Get("Provider"));
  return provider == "postgresql" || provider == "postgres" ? "PostgreSQL" : "";
}

}  // namespace

// The demo users sign on with their id in lower case as password.
const char* const kDemoUsers[] = {"ADMIN", "DEMO", "ALICE", "BOB", "CAROL", "ZHANG", "ERIN", "ASUSER"};

int InitSignOnMaterial(const DbTarget& target) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path dir = fs::absolute(target.data_dir.empty() ? fs::path(".") : fs::path(target.data_dir), ec);
  const std::string key_file = (dir / "token.key").string();
  const std::string service_key_file = (dir / "service.key").string();
  const std::string registry_file = (dir / "registry.reg").string();
  const std::string system_database = SystemDatabase(
      target.data_dir.empty() ? target.connection_string.substr(0, target.connection_string.rfind(";Initial Catalog="))
                              : "Provider=SQLite;Data Source=" + dir.string());

  for (const std::string& file : {key_file, service_key_file}) {
    if (fs::exists(file)) continue;
    Status s = suite::CreateKeyFile(file);
    if (!s.ok()) {
      std::fprintf(stderr, "tarn db init: %s\n", s.message().c_str());
      return 1;
    }
  }
  std::ostringstream reg;
  reg << "Windows Registry Editor Version 5.00\n\n";
  // The compact build's connection strings name SQL Server's provider: the
  // demo sends them to the backend it was made on. The settings' own key
  // comes last, so that a value appended to the file lands in it.
  if (const std::string backend = DemoProviderAlias(target); !backend.empty()) {
    reg << "[HKEY_LOCAL_MACHINE\\" << db::kProviderAliasKey << "]\n"
        << "\"SQLOLEDB.1\"=" << RegQuote(backend) << "\n\n";
  }
  reg << "[HKEY_LOCAL_MACHINE\\" << suite::kSettingsKey.substr(0, suite::kSettingsKey.size() - 1) << "]\n"
      << "\"SystemDatabase\"=" << RegQuote(system_database) << "\n"
      << "\"TokenKeyFile\"=" << RegQuote(key_file) << "\n"
      << "\"ServiceKeyFile\"=" << RegQuote(service_key_file) << "\n";
  // The demo's documents live beside its databases: what the login
  // service describes as the user's file server.
  if (target.demo) reg << "\"FileServer\"=" << RegQuote("file://" + (dir / "files").string()) << "\n";
  // The file names the database that init made with its password: it is
  // its owner's alone, whoever could read an older one of the name.
  if (Status s = WriteSecretFile(registry_file, reg.str(), SecretMode::kOwnerOnly); !s.ok()) {
    std::fprintf(stderr, "tarn db init: %s\n", s.message().c_str());
    return 1;
  }
  std::printf("wrote %s, %s and %s\n", registry_file.c_str(), key_file.c_str(), service_key_file.c_str());

  if (target.demo) {
    auto conn = db::Connection::Create();
    Status s = conn->Open(system_database, "", "");
    for (const char* user : kDemoUsers) {
      std::string password = user;
      for (char& c : password) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      bool found = false;
      if (s.ok()) s = SetPassword(*conn, user, password, &found);
    }
    if (!s.ok()) {
      std::fprintf(stderr, "tarn db init: %s\n", s.message().c_str());
      return 1;
    }
    std::printf("demo users sign on with their id in lower case as password (alice for ALICE)\n");
  }
  return 0;
}

namespace {

int RunDbPasswd(const std::string& user, const std::string& data, const std::string& connect) {
  std::string password;
  if (!ReadPassword("new password for " + user + ": ", &password) || password.empty()) {
    std::fputs("tarn db passwd: an empty password is not accepted\n", stderr);
    return 1;
  }
  auto conn = db::Connection::Create();
  Status s = conn->Open(SystemDatabase(data.empty() ? connect : "Provider=SQLite;Data Source=" + data), "", "");
  bool found = false;
  if (s.ok()) s = SetPassword(*conn, user, password, &found);
  if (!s.ok()) {
    std::fprintf(stderr, "tarn db passwd: %s\n", s.message().c_str());
    return 1;
  }
  if (!found) {
    std::fprintf(stderr, "tarn db passwd: no user %s\n", user.c_str());
    return 1;
  }
  std::printf("password of %s set\n", user.c_str());
  return 0;
}

}  // namespace

void AddDbPasswdCommand(CLI::App* db, int* code) {
  static SystemDatabaseOption o;
  static std::string user;
  static bool password_stdin = false;
  CLI::App* cmd = db->add_subcommand("passwd", "set a user's password (asked for, or read from standard input)");
  AddSystemDatabaseOptions(cmd, &o);
  cmd->add_flag("--password-stdin", password_stdin,
                "read it from standard input (it is read there anyway when "
                "standard input is no terminal)");
  cmd->add_option("USER", user, "the user id")->required();
  cmd->callback([code] {
    std::string connect, problem;
    if (!ResolveSystemDatabase(o, &connect, &problem)) {
      std::fprintf(stderr, "tarn db passwd: %s\n", problem.c_str());
      *code = 2;
      return;
    }
    *code = RunDbPasswd(user, o.data_dir, o.data_dir.empty() ? connect : "");
  });
}

}  // namespace tarn::app
