// Login: through the login interface, or only the completion step for an
// object built from a token; and the database kit on the system database.
#include <optional>

#include "core/login_parts.h"
#include "core/release_sequence.h"
#include "core/system_database.h"
#include "platform/object_registry.h"
#include "platform/text.h"
#include "resources/error_codes.h"
#include "resources/error_state.h"
#include "resources/res_service.h"
#include "signon/completion.h"
#include "tarn/com_error.h"
#include "tarn/login.h"

namespace tarn {

bool clsLogin::Login(std::string& pSubId) {
  std::string acc, year, user, password, date, server, serial;
  return Login(pSubId, acc, year, user, password, date, server, serial);
}

bool clsLogin::Login(LoginParams& p) {
  return Login(p.sub_id, p.acc_id, p.year_id, p.user_id, p.password, p.date, p.server, p.serial);
}

bool clsLogin::Login(std::string& pSubId, std::string& pAccId, std::string& pYearId, std::string& pUserId,
                     std::string& pPassword, std::string& pDate, std::string& cSrv, std::string& cSerial) {
  core::LoginParts& s = *state_;
  if (s.connections.TokenBuilt) {
    return signon::CompleteLogin(*state_, {pSubId, pAccId, pYearId, pUserId, pPassword, pDate, cSrv, cSerial});
  }
  if (pAccId.empty() || pUserId.empty()) {
    resources::SetShareString(resources::ResText(resources::res::kNotCompleteLogin));
    return false;
  }

  // Sign-on through the login interface. An object that is signed on
  // already keeps its first sign-on whole until the new one has succeeded:
  // a refused or failed attempt leaves its task id, connection, heartbeat,
  // interface and rows as they were, so that its releases still find them.
  // The attempt starts without them; success signs the first one out.
  // (A successful sign-on always runs a heartbeat; an interface left from
  // a refused attempt is no sign-on and is simply replaced.)
  std::optional<core::LoginParts> first;
  s.connections.RefusingLoginUI.reset();
  if (s.connections.SystemConnection || s.heartbeat.HeartbeatTimer) {
    first.emplace(s);
    s.connections.SystemConnection.reset();
    s.connections.DatabaseKit.reset();
    s.heartbeat.HeartbeatTimer.reset();
    s.connections.ProductContext.reset();
    s.identity.TaskId.clear();
  }
  // Held here too, so that the interface outlives a restore.
  const std::shared_ptr<boundary::LoginUI> attempt_ui =
      ObjectRegistry::Global().CreateAs<boundary::LoginUI>(boundary::kLoginUiProgId);
  s.connections.LoginUI = attempt_ui;
  // A failed attempt: the first sign-on comes back, and the interface that
  // refused stays at hand for its error record. Without a first one, the
  // object keeps only that interface, and is no longer built from its
  // token, so that the next Login asks the interface again instead of
  // reusing an identity it has ended.
  auto restore = [&] {
    if (first) {
      s = std::move(*first);
      s.connections.RefusingLoginUI = attempt_ui;
    } else {
      s.connections.ProductContext.reset();
      s.connections.TokenBuilt = false;
    }
  };
  boundary::LoginUI& ui = *attempt_ui;
  if (AsciiUpper(pUserId) == "ASUSER" && !pYearId.empty()) {
    pPassword = AsciiLower(pPassword);
    pDate = pDate + "@" + pYearId;
  }
  ui.SetLanguageID(resources::SharedResService().GetCurrentLanguage());
  const bool extended = s.identity.edition == Edition::kExtended;
  if (!ui.Login(pSubId, pUserId, pPassword, cSrv, pDate, pAccId, cSerial)) {
    if (extended) resources::SetLogState(resources::kLoginUiRefused);
    resources::SetShareString(ui.ErrDescript());
    restore();
    return false;
  }
  s.connections.ProductContext = ui.SubLogin(pSubId);
  if (!s.connections.ProductContext) {
    if (extended) resources::SetLogState(resources::kLoginUiRefused);
    resources::SetShareString(ui.ErrDescript());
    restore();
    return false;
  }
  // From here the interface holds a sign-on for us, its login task among
  // it. A sign-on that fails or raises from here on hands it back: this
  // object's release would not (it is built from a token until the
  // completion succeeds), and the row would wait for the lease.
  const std::string signed_on_sub = pSubId;
  auto give_back = [&] {
    try {
      ui.SubLogout(signed_on_sub);
    } catch (const std::exception&) {
      // the failure being reported is the sign-on's, not this one
    }
    restore();
  };
  std::string acc, year, user, password, date, server, serial;  // the completion's seven, empty
  bool ok = false;
  try {
    if (!extended) {
      if (ConstructLogin(ui.UserToken())) {
        s.identity.TaskId = ui.GetTaskID(pSubId);
        ok = signon::CompleteLogin(*state_, {pSubId, acc, year, user, password, date, server, serial});
      }
    } else {
      // The interface hands over what it knows: the user data builds the
      // object, the sub-login data names the subsystem and the task. The
      // token is asked for before the user data, as the interface expects.
      const std::string token = ui.userToken();
      if (InternalConstructLogin(token, ui.getLoginInfo())) {
        std::shared_ptr<boundary::ContextData> sub_login = ui.GetSubLoginInfo(pSubId);
        ok = signon::CompleteLogin(*state_, {pSubId, acc, year, user, password, date, server, serial}, sub_login.get());
      }
    }
  } catch (...) {
    give_back();
    throw;
  }
  if (!ok) {
    give_back();
    return false;
  }
  if (first) core::ReleaseSignOn(*first);
  // The object now belongs to this sign-on: its release logs the subsystem
  // out of the interface.
  s.connections.TokenBuilt = false;
  return true;
}

bool clsLogin::LoginEx(std::string& pSubId, ObjectPtr& SSData) {
  core::LoginParts& s = *state_;
  core::RequireExtended(s.identity, "LoginEx");
  if (!s.connections.TokenBuilt) {
    resources::SetShareString(resources::ResText(resources::res::kNotCompleteLogin));
    return false;
  }
  std::string acc, year, user, password, date, server, serial;
  return signon::CompleteLogin(*state_, {pSubId, acc, year, user, password, date, server, serial}, SSData.get());
}

ObjectPtr clsLogin::ValeSystemDb() {
  core::LoginParts& s = *state_;
  if (s.connections.DatabaseKit) return s.connections.DatabaseKit;
  // The extended edition opens its system connection on first use; the
  // full one has it only once signed on.
  db::ConnectionPtr conn = s.identity.edition == Edition::kExtended ? core::SystemAdoDb(s.identity, s.connections)
                                                                    : s.connections.SystemConnection;
  if (!conn) {
    throw ComError(errnum::kObjectRequired, "Object variable not set: the login object has not signed on");
  }
  auto kit = ObjectRegistry::Global().CreateAs<boundary::DatabaseKit>(boundary::kDatabaseKitProgId);
  s.connections.DatabaseKit = kit;
  kit->opendatabase(conn->ConnectionString() + ";INITIAL CATALOG=ValeSystem");
  return kit;
}

}  // namespace tarn
