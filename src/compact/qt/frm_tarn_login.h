// The settings form on screen: a Qt dialog over a LoginForm. Each event
// copies the controls into the form, runs the form's handler and shows the
// form's values again. Its controls carry the form's names as object names.
#ifndef TARN_COMPACT_QT_FRM_TARN_LOGIN_H_
#define TARN_COMPACT_QT_FRM_TARN_LOGIN_H_

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

#include "compact/login_form.h"
#include "tarn/message_box.h"

namespace tarn::compact {

class FrmTarnLogin : public QDialog {
 public:
  // `form` is loaded already and outlives the dialog.
  explicit FrmTarnLogin(LoginForm& form, QWidget* parent = nullptr);

 protected:
  // The close box and Escape: the form keeps StrTarnConn.
  void reject() override;

 private:
  void Pull();
  void Push();
  template <typename Handler>
  void Run(Handler handler);

  LoginForm& form_;
  // While the dialog exists, the form's messages are message boxes over it.
  ScopedMessageHandler messages_;
  QLineEdit* txtFwqName_;
  QComboBox* txtZtName_;
  QLineEdit* txtUserName_;
  QLineEdit* txtUserPass_;
  QComboBox* txtPeriod_;
  QPushButton* CmdRefresh_;
  QPushButton* CmdQd_;
  QPushButton* CmdQx_;
};

// Whether Qt can show a window here: a display, or a platform named in
// QT_QPA_PLATFORM (offscreen among them).
bool HasDisplay();

// Shows `form` modally; makes the process's QApplication when the host has
// none. Throws ComError when there is no display.
void ShowModally(LoginForm& form);

}  // namespace tarn::compact

#endif  // TARN_COMPACT_QT_FRM_TARN_LOGIN_H_
