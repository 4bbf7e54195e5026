// The settings form of the compact build, without its window: the values
// of its controls and what its load, buttons and account list do. The Qt
// dialog shows one and forwards its events; tests drive one directly.
// Messages go through the library's message seam (tarn/message_box.h).
#ifndef TARN_COMPACT_LOGIN_FORM_H_
#define TARN_COMPACT_LOGIN_FORM_H_

#include <string>
#include <vector>

namespace tarn::compact {

// A combo box: its list, the entry selected (-1 for none) and its text,
// which a user may also type.
struct ComboBox {
  std::vector<std::string> items;
  int list_index = -1;
  std::string text;

  // Empties the list and the text, as a combo box's Clear does.
  void Clear();
  // Selects entry `index`, which becomes the text.
  void Select(int index);
};

class LoginForm {
 public:
  // Fills server, login name and password from sys_path through StrConn.
  // Throws ComError when StrConn does not open or sys_path cannot be read:
  // the form then never shows.
  void Load();

  // "刷新": lists the account sets of the server and selects the first.
  void Refresh();
  // A click on the account list: lists the years of the account set in
  // its text and selects the latest.
  void AccountChosen();
  // "确定": true when the form closes, with StrTarnConn set and the
  // settings remembered in sys_path; false, with StrTarnConn emptied, when
  // a value it needs is missing.
  bool Ok();
  // "取消": StrTarnConn emptied; the form closes.
  void Cancel();
  // The window's close box: StrTarnConn stays as it was.
  void CloseBox();

  std::string txtFwqName;   // server name
  ComboBox txtZtName;       // account sets, "code|name"
  std::string txtUserName;  // database login name
  std::string txtUserPass;  // its password, as typed
  ComboBox txtPeriod;       // years of the account set
};

}  // namespace tarn::compact

#endif  // TARN_COMPACT_LOGIN_FORM_H_
