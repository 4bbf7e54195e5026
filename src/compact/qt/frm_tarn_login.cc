#include "compact/qt/frm_tarn_login.h"

#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QProxyStyle>
#include <QVBoxLayout>
#include <cstdlib>
#include <iterator>

#include "compact/mod_login.h"
#include "compact/qt/display_probe.h"
#include "tarn/com_error.h"

namespace tarn::compact {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// The password shows as '*', whatever the style's own mask character.
class StarMask : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* data) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return '*';
    return QProxyStyle::styleHint(hint, option, widget, data);
  }
};

QMessageBox::Icon IconOf(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kInformation: return QMessageBox::Information;
    case MessageIcon::kQuestion: return QMessageBox::Question;
    case MessageIcon::kWarning: return QMessageBox::Warning;
    case MessageIcon::kCritical: return QMessageBox::Critical;
    case MessageIcon::kNone: break;
  }
  return QMessageBox::NoIcon;
}

MessageAnswer AskWithBox(QWidget* parent, const Message& m) {
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
  if (m.buttons == MessageButtons::kOkCancel) buttons = QMessageBox::Ok | QMessageBox::Cancel;
  if (m.buttons == MessageButtons::kYesNo) buttons = QMessageBox::Yes | QMessageBox::No;
  QMessageBox box(IconOf(m.icon), Q(m.title), Q(m.text), buttons, parent);
  switch (box.exec()) {
    case QMessageBox::Cancel: return MessageAnswer::kCancel;
    case QMessageBox::Yes: return MessageAnswer::kYes;
    case QMessageBox::No: return MessageAnswer::kNo;
    default: return MessageAnswer::kOk;
  }
}

void Fill(QComboBox* box, const ComboBox& state) {
  QSignalBlocker quiet(box);
  box->clear();
  for (const std::string& item : state.items) box->addItem(Q(item));
  box->setCurrentIndex(state.list_index);
  box->setEditText(Q(state.text));
}

ComboBox Read(const QComboBox* box, const ComboBox& was) {
  ComboBox state = was;
  state.list_index = box->currentIndex();
  state.text = S(box->currentText());
  return state;
}

}  // namespace

FrmTarnLogin::FrmTarnLogin(LoginForm& form, QWidget* parent)
    : QDialog(parent),
      form_(form),
      messages_([this](const Message& m) { return AskWithBox(this, m); }),
      txtFwqName_(new QLineEdit(this)),
      txtZtName_(new QComboBox(this)),
      txtUserName_(new QLineEdit(this)),
      txtUserPass_(new QLineEdit(this)),
      txtPeriod_(new QComboBox(this)),
      CmdRefresh_(new QPushButton(QStringLiteral("刷新"), this)),
      CmdQd_(new QPushButton(QStringLiteral("确定"), this)),
      CmdQx_(new QPushButton(QStringLiteral("取消"), this)) {
  setWindowTitle(Q(kCaption));
  setModal(true);
  txtFwqName_->setObjectName("txtFwqName");
  txtZtName_->setObjectName("txtZtName");
  txtUserName_->setObjectName("txtUserName");
  txtUserPass_->setObjectName("txtUserPass");
  txtPeriod_->setObjectName("txtPeriod");
  CmdRefresh_->setObjectName("CmdRefresh");
  CmdQd_->setObjectName("CmdQd");
  CmdQx_->setObjectName("CmdQx");
  txtZtName_->setEditable(true);
  txtPeriod_->setEditable(true);
  setMinimumWidth(400);
  txtUserPass_->setEchoMode(QLineEdit::Password);
  auto* mask = new StarMask;
  mask->setParent(txtUserPass_);
  txtUserPass_->setStyle(mask);
  // Enter in a field does not press a button of its own accord.
  for (QPushButton* b : {CmdRefresh_, CmdQd_, CmdQx_}) b->setAutoDefault(false);

  auto* fields = new QFormLayout;
  fields->addRow(QStringLiteral("服务器名称:"), txtFwqName_);
  fields->addRow(QStringLiteral("用户名称:"), txtUserName_);
  fields->addRow(QStringLiteral("口令:"), txtUserPass_);
  fields->addRow(QStringLiteral("帐套名称:"), txtZtName_);
  fields->addRow(QStringLiteral("会计年度:"), txtPeriod_);
  // Tab follows the rows as they stand on screen, not the order the
  // controls were made in.
  QWidget* order[] = {txtFwqName_, txtUserName_, txtUserPass_, txtZtName_, txtPeriod_, CmdRefresh_, CmdQd_, CmdQx_};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(CmdRefresh_);
  buttons->addStretch();
  buttons->addWidget(CmdQd_);
  buttons->addWidget(CmdQx_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addLayout(buttons);

  connect(CmdRefresh_, &QPushButton::clicked, this, [this] { Run([this] { form_.Refresh(); }); });
  connect(txtZtName_, &QComboBox::activated, this, [this] { Run([this] { form_.AccountChosen(); }); });
  connect(CmdQd_, &QPushButton::clicked, this, [this] {
    bool closes = false;
    Run([&] { closes = form_.Ok(); });
    if (closes) accept();
  });
  connect(CmdQx_, &QPushButton::clicked, this, [this] {
    Run([this] { form_.Cancel(); });
    QDialog::reject();
  });
  Push();
}

void FrmTarnLogin::reject() {
  form_.CloseBox();
  QDialog::reject();
}

void FrmTarnLogin::Pull() {
  form_.txtFwqName = S(txtFwqName_->text());
  form_.txtUserName = S(txtUserName_->text());
  form_.txtUserPass = S(txtUserPass_->text());
  form_.txtZtName = Read(txtZtName_, form_.txtZtName);
  form_.txtPeriod = Read(txtPeriod_, form_.txtPeriod);
}

void FrmTarnLogin::Push() {
  txtFwqName_->setText(Q(form_.txtFwqName));
  txtUserName_->setText(Q(form_.txtUserName));
  txtUserPass_->setText(Q(form_.txtUserPass));
  Fill(txtZtName_, form_.txtZtName);
  Fill(txtPeriod_, form_.txtPeriod);
}

template <typename Handler>
void FrmTarnLogin::Run(Handler handler) {
  Pull();
  handler();
  Push();
}

bool HasDisplay() {
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

void ShowModally(LoginForm& form) {
  if (!QApplication::instance()) {
    if (!HasDisplay()) {
      throw ComError(errnum::kInvalidCall,
                     "No display to show the settings form on (DISPLAY and WAYLAND_DISPLAY are unset)",
                     "TarnLogin.Login");
    }
    // Qt would abort the host on a display that does not answer.
    if (const std::string problem = DisplayProblem(); !problem.empty()) {
      throw ComError(errnum::kInvalidCall, "cannot show the dialog: " + problem, "TarnLogin.Login");
    }
    // The host has no application object: this one stays for the
    // process, as a host's own would.
    static int argc = 1;
    static char name[] = "tarnlogin";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
  }
  FrmTarnLogin dialog(form);
  dialog.exec();
}

}  // namespace tarn::compact
