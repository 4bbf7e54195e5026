#include "compact/login_form.h"

#include "compact/database.h"
#include "compact/mod_login.h"
#include "db/recordset.h"
#include "tarn/com_error.h"
#include "tarn/message_box.h"

namespace tarn::compact {
namespace {

void Warn(const std::string& text) {
  (void)ShowMessage(Message{text, kMessageTitle, MessageIcon::kWarning, MessageButtons::kOk});
}

// The rows of a read-only listing on `connection_string`, each added to
// `list` as it is read: a failure halfway leaves what was read.
void List(const std::string& connection_string, const db::Statement& statement, std::vector<std::string>* list,
          std::string (*entry)(const db::Recordset&)) {
  db::ConnectionPtr conn = OpenOrRaise(connection_string);
  auto rs = db::Recordset::Create();
  RaiseIfFailed(*conn, rs->Open(statement, conn, db::CursorType::kStatic, db::LockType::kReadOnly));
  while (!rs->Eof()) {
    list->push_back(entry(*rs));
    RaiseIfFailed(*conn, rs->MoveNext());
  }
  rs->Close();
}

std::string Text(const Variant& value) { return value.IsEmpty() ? std::string() : value.ToStringOrEmpty(); }

}  // namespace

void ComboBox::Clear() {
  items.clear();
  list_index = -1;
  text.clear();
}

void ComboBox::Select(int index) {
  list_index = index;
  text = items.at(static_cast<size_t>(index));
}

void LoginForm::Load() {
  txtFwqName = Text(GetFieldValue("select fwqname from sys_path", "fwqname"));
  txtUserName = Text(GetFieldValue("select username from sys_path", "username"));
  txtUserPass = Text(GetFieldValue("select userkl from sys_path", "userkl"));
}

void LoginForm::Refresh() {
  ModuleData& m = Module();
  txtZtName.Clear();
  if (txtUserName.empty()) {
    Warn(kBadSettings);
    m.StrWorkConn.clear();
    return;
  }
  m.StrWorkConn = SystemConnectionString(txtUserName, txtUserPass, txtFwqName);
  try {
    List(m.StrWorkConn, db::Statement("Select cAcc_Id,cAcc_Name from ua_account order by cAcc_id"), &txtZtName.items,
         [](const db::Recordset& rs) { return Text(rs.Value("cAcc_id")) + "|" + Text(rs.Value("cAcc_Name")); });
  } catch (const ComError& e) {
    Warn(e.description());
    return;
  }
  if (!txtZtName.items.empty()) {
    txtZtName.Select(0);
    AccountChosen();
  }
}

void LoginForm::AccountChosen() {
  if (txtZtName.text.empty()) return;
  txtPeriod.Clear();
  try {
    // The code is a value of the statement, never a part of its text.
    List(Module().StrWorkConn,
         db::Statement("SELECT iYear From UA_Period Where cAcc_id=? GROUP BY iYear ORDER BY iYear")
             .Bind(GetAccCode(txtZtName.text)),
         &txtPeriod.items, [](const db::Recordset& rs) { return Text(rs.Value("iYear")); });
  } catch (const ComError& e) {
    Warn(e.description());
    return;
  }
  if (!txtPeriod.items.empty()) txtPeriod.Select(static_cast<int>(txtPeriod.items.size()) - 1);
}

bool LoginForm::Ok() {
  ModuleData& m = Module();
  if (txtUserName.empty() || txtZtName.text.empty() || txtPeriod.text.empty()) {
    Warn(kBadSettings);
    m.StrWorkConn.clear();
    m.StrTarnConn.clear();
    return false;
  }
  m.StrWorkConn =
      AccountConnectionString(txtUserName, txtUserPass, GetAccCode(txtZtName.text), txtPeriod.text, txtFwqName);
  m.StrTarnConn = m.StrWorkConn;
  try {
    db::ConnectionPtr conn = OpenOrRaise(m.StrConn);
    auto rs = db::Recordset::Create();
    RaiseIfFailed(*conn, rs->Open(db::Statement("select * from sys_path"), conn, db::CursorType::kStatic,
                                  db::LockType::kOptimistic));
    if (rs->Eof()) {
      RaiseIfFailed(*conn, rs->AddNew());
      RaiseIfFailed(*conn, rs->SetValue("id", Variant(int32_t{3})));
    }
    RaiseIfFailed(*conn, rs->SetValue("fwqname", Variant(txtFwqName)));
    RaiseIfFailed(*conn, rs->SetValue("username", Variant(txtUserName)));
    RaiseIfFailed(*conn, rs->SetValue("userkl", Variant(txtUserPass)));
    RaiseIfFailed(*conn, rs->Update());
    rs->Close();
  } catch (const ComError& e) {
    // The connection string is made and handed back all the same; only
    // the remembering failed, and the user is told so.
    Warn(e.description());
  }
  return true;
}

void LoginForm::Cancel() {
  Module().StrWorkConn.clear();
  Module().StrTarnConn.clear();
}

void LoginForm::CloseBox() {}

}  // namespace tarn::compact
