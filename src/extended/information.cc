// What the extended edition tells modules that work with the account
// database, the metadata database or the database server directly: names
// derived once from the account connection string, and connections opened
// on first use and kept.
#include "core/login_state.h"
#include "core/system_database.h"
#include "db/raise.h"
#include "tarn/com_error.h"
#include "tarn/login.h"

namespace tarn {

std::string clsLogin::EntTypeID() const {
  core::RequireExtended(*state_, "EntTypeID");
  return state_->EntTypeID;
}

// The searches are case-sensitive, as the account connection string is
// written by the login interface: "Initial Catalog=" is not found.
std::string clsLogin::ValeMetaName() {
  core::LoginState& s = *state_;
  core::RequireExtended(s, "ValeMetaName");
  if (s.MetaName.empty() && !s.ValeDbName.empty()) {
    static constexpr std::string_view kCatalog = "initial catalog=";
    const size_t p = s.ValeDbName.find(kCatalog);
    if (p != std::string::npos) {
      const size_t end = s.ValeDbName.find(';', p);
      s.MetaName = s.ValeDbName.substr(0, p) + std::string(kCatalog) + "VALEMeta_" + s.cAcc_Id +
                   (end == std::string::npos ? std::string() : s.ValeDbName.substr(end));
    }
  }
  return s.MetaName;
}

std::string clsLogin::dbServerName() {
  core::LoginState& s = *state_;
  core::RequireExtended(s, "dbServerName");
  if (s.DbServerName.empty() && !s.ValeDbName.empty()) {
    static constexpr std::string_view kSource = "source=";
    const size_t p = s.ValeDbName.find(kSource);
    if (p != std::string::npos) {
      const size_t end = s.ValeDbName.find(';', p);
      if (end == std::string::npos) {
        throw ComError(errnum::kInvalidCall, "Invalid procedure call or argument: no ';' ends the data source");
      }
      s.DbServerName = s.ValeDbName.substr(p + kSource.size(), end - (p + kSource.size()));
    }
  }
  return s.DbServerName;
}

ObjectPtr clsLogin::ValeCurrentDb() {
  core::LoginState& s = *state_;
  core::RequireExtended(s, "ValeCurrentDb");
  if (!s.CurrentDb) {
    db::ConnectionPtr conn = db::Connection::Create();
    db::RaiseIfFailed(conn->Open(s.ValeDbName, "", ""));
    s.CurrentDb = conn;
  }
  return s.CurrentDb;
}

ObjectPtr clsLogin::ValeSystemADODb() {
  core::RequireExtended(*state_, "ValeSystemADODb");
  return core::SystemAdoDb(*state_);
}

}  // namespace tarn
