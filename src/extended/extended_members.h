// The extended edition's own members, over the parts of one login object:
// clsLogin's members of the same names forward here. They read the
// identity, keep the names they derive and the account connection in the
// extended part, and open the extended edition's system connection in the
// connections on first use. On an object of the full edition each raises
// 438, as the full edition's interface has no such member.
#ifndef TARN_EXTENDED_EXTENDED_MEMBERS_H_
#define TARN_EXTENDED_EXTENDED_MEMBERS_H_

#include <string>

#include "core/login_parts.h"
#include "tarn/variant.h"

namespace tarn::extended {

class ExtendedMembers {
 public:
  ExtendedMembers(const core::Identity& identity, core::Connections& connections, core::ExtendedState& own)
      : id_(identity), connections_(connections), own_(own) {}
  explicit ExtendedMembers(core::LoginParts& parts)
      : ExtendedMembers(parts.identity, parts.connections, parts.extended) {}

  std::string ValeMetaName();
  std::string dbServerName();
  ObjectPtr ValeCurrentDb();
  ObjectPtr ValeSystemADODb();
  bool GetFileServerInfo(std::string& fsInfo);
  bool GetBindFsUser(std::string& fsUser);

 private:
  const core::Identity& id_;
  core::Connections& connections_;
  core::ExtendedState& own_;
};

}  // namespace tarn::extended

#endif  // TARN_EXTENDED_EXTENDED_MEMBERS_H_
