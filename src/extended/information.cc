// What the extended edition tells modules that work with the account
// database, the metadata database or the database server directly: names
// derived once from the account connection string, and connections opened
// on first use and kept.
#include "core/login_parts.h"
#include "core/system_database.h"
#include "db/raise.h"
#include "tarn/com_error.h"
#include "tarn/login.h"

namespace tarn {

std::string clsLogin::EntTypeID() const {
  core::RequireExtended(state_->identity, "EntTypeID");
  return state_->identity.EntTypeID;
}

// The searches are case-sensitive, as the account connection string is
// written by the login interface: "Initial Catalog=" is not found.
std::string clsLogin::ValeMetaName() {
  core::LoginParts& s = *state_;
  core::RequireExtended(s.identity, "ValeMetaName");
  if (s.extended.MetaName.empty() && !s.identity.ValeDbName.empty()) {
    static constexpr std::string_view kCatalog = "initial catalog=";
    const size_t p = s.identity.ValeDbName.find(kCatalog);
    if (p != std::string::npos) {
      const size_t end = s.identity.ValeDbName.find(';', p);
      s.extended.MetaName = s.identity.ValeDbName.substr(0, p) + std::string(kCatalog) + "VALEMeta_" +
                            s.identity.cAcc_Id +
                            (end == std::string::npos ? std::string() : s.identity.ValeDbName.substr(end));
    }
  }
  return s.extended.MetaName;
}

std::string clsLogin::dbServerName() {
  core::LoginParts& s = *state_;
  core::RequireExtended(s.identity, "dbServerName");
  if (s.extended.DbServerName.empty() && !s.identity.ValeDbName.empty()) {
    static constexpr std::string_view kSource = "source=";
    const size_t p = s.identity.ValeDbName.find(kSource);
    if (p != std::string::npos) {
      const size_t end = s.identity.ValeDbName.find(';', p);
      if (end == std::string::npos) {
        throw ComError(errnum::kInvalidCall, "Invalid procedure call or argument: no ';' ends the data source");
      }
      s.extended.DbServerName = s.identity.ValeDbName.substr(p + kSource.size(), end - (p + kSource.size()));
    }
  }
  return s.extended.DbServerName;
}

ObjectPtr clsLogin::ValeCurrentDb() {
  core::LoginParts& s = *state_;
  core::RequireExtended(s.identity, "ValeCurrentDb");
  if (!s.extended.CurrentDb) {
    db::ConnectionPtr conn = db::Connection::Create();
    db::RaiseIfFailed(conn->Open(s.identity.ValeDbName, "", ""));
    s.extended.CurrentDb = conn;
  }
  return s.extended.CurrentDb;
}

ObjectPtr clsLogin::ValeSystemADODb() {
  core::RequireExtended(state_->identity, "ValeSystemADODb");
  return core::SystemAdoDb(state_->identity, state_->connections);
}

}  // namespace tarn
