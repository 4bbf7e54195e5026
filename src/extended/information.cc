// What the extended edition tells modules that work with the account
// database, the metadata database or the database server directly: names
// derived once from the account connection string, and connections opened
// on first use and kept.
#include "extended/extended_members.h"

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
std::string extended::ExtendedMembers::ValeMetaName() {
  core::RequireExtended(id_, "ValeMetaName");
  if (own_.MetaName.empty() && !id_.ValeDbName.empty()) {
    static constexpr std::string_view kCatalog = "initial catalog=";
    const size_t p = id_.ValeDbName.find(kCatalog);
    if (p != std::string::npos) {
      const size_t end = id_.ValeDbName.find(';', p);
      own_.MetaName = id_.ValeDbName.substr(0, p) + std::string(kCatalog) + "VALEMeta_" + id_.cAcc_Id +
                      (end == std::string::npos ? std::string() : id_.ValeDbName.substr(end));
    }
  }
  return own_.MetaName;
}

std::string extended::ExtendedMembers::dbServerName() {
  core::RequireExtended(id_, "dbServerName");
  if (own_.DbServerName.empty() && !id_.ValeDbName.empty()) {
    static constexpr std::string_view kSource = "source=";
    const size_t p = id_.ValeDbName.find(kSource);
    if (p != std::string::npos) {
      const size_t end = id_.ValeDbName.find(';', p);
      if (end == std::string::npos) {
        throw ComError(errnum::kInvalidCall, "Invalid procedure call or argument: no ';' ends the data source");
      }
      own_.DbServerName = id_.ValeDbName.substr(p + kSource.size(), end - (p + kSource.size()));
    }
  }
  return own_.DbServerName;
}

ObjectPtr extended::ExtendedMembers::ValeCurrentDb() {
  core::RequireExtended(id_, "ValeCurrentDb");
  if (!own_.CurrentDb) {
    db::ConnectionPtr conn = db::Connection::Create();
    db::RaiseIfFailed(conn->Open(id_.ValeDbName, "", ""));
    own_.CurrentDb = conn;
  }
  return own_.CurrentDb;
}

ObjectPtr extended::ExtendedMembers::ValeSystemADODb() {
  core::RequireExtended(id_, "ValeSystemADODb");
  return core::SystemAdoDb(id_, connections_);
}

std::string clsLogin::ValeMetaName() { return extended::ExtendedMembers(*state_).ValeMetaName(); }
std::string clsLogin::dbServerName() { return extended::ExtendedMembers(*state_).dbServerName(); }
ObjectPtr clsLogin::ValeCurrentDb() { return extended::ExtendedMembers(*state_).ValeCurrentDb(); }
ObjectPtr clsLogin::ValeSystemADODb() { return extended::ExtendedMembers(*state_).ValeSystemADODb(); }

}  // namespace tarn
