// The compact build's dialog itself, under Qt's offscreen platform: what a
// user sees and presses. The demo company on SQLite, reached through the
// SQL Server provider's alias in a registry file of the test's own.
//   TARN_COMPACT_SCREENSHOT=docs/compact-dialog.png redraws the README's picture.
#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <fstream>

#include "compact/form_presenter.h"
#include "compact/login_form.h"
#include "compact/mod_login.h"
#include "compact/qt/frm_tarn_login.h"
#include "db/connection.h"
#include "db/recordset.h"
#include "suite/sysdb/demo_data.h"
#include "suite/sysdb/schema.h"
#include "tarn/compact_login.h"

namespace tarn::compact {

class CompactDialogTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  std::string data_, host_;

  std::string Dir() const { return dir_.path().toStdString(); }

  void Exec(const std::string& sql) {
    auto conn = db::Connection::Create();
    QVERIFY(conn->Open(host_, "", "").ok());
    QVERIFY2(conn->Execute(db::Statement(sql)).ok(), sql.c_str());
  }
  int64_t SysPathRows(std::string* password = nullptr) {
    auto conn = db::Connection::Create();
    db::ResultSet rows;
    if (!conn->Open(host_, "", "").ok() || !conn->Query(db::Statement("SELECT id,userkl FROM sys_path"), &rows).ok()) {
      return -1;
    }
    if (rows.rows() == 1 && password) *password = rows.at(0, 1).ToStringOrEmpty();
    return rows.rows() == 1 && rows.at(0, 0).ToInt32() != 3 ? -2 : static_cast<int64_t>(rows.rows());
  }

  template <typename T>
  static T* Child(QWidget* dialog, const char* name) {
    T* child = dialog->findChild<T*>(name);
    if (!child) qFatal("no control %s", name);
    return child;
  }

  // What a user types over the empty fields.
  void Type(QWidget* dialog) {
    QTest::keyClicks(Child<QLineEdit>(dialog, "txtFwqName"), QString::fromStdString(Dir()));
    QTest::keyClicks(Child<QLineEdit>(dialog, "txtUserName"), "sa");
    QTest::keyClicks(Child<QLineEdit>(dialog, "txtUserPass"), "pa55");
  }

  // The next message box: its text, icon and title; closed with OK.
  struct Shown {
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
  };
  static void AnswerNextBox(Shown* shown) {
    QTimer::singleShot(0, [shown] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      shown->text = box->text();
      shown->title = box->windowTitle();
      shown->icon = box->icon();
      box->accept();
    });
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    data_ = "Provider=SQLite;Data Source=" + Dir();
    host_ = data_ + ";Initial Catalog=" + suite::kCompactHostCatalog;
    const std::string registry = Dir() + "/registry.reg";
    std::ofstream(registry) << "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\" << db::kProviderAliasKey
                            << "]\n\"SQLOLEDB.1\"=\"SQLite\"\n";
    qputenv("TARN_REGISTRY", QByteArray::fromStdString(registry));
    auto conn = db::Connection::Create();
    QVERIFY(conn->Open(data_, "", "").ok());
    QVERIFY(suite::CreateSystemDatabase(*conn).ok());
    QVERIFY(suite::LoadDemoData(*conn).ok());
    QVERIFY(suite::CreateCompactHostDatabase(*conn).ok());
  }

  void init() {
    Module() = ModuleData{};
    Module().StrConn = host_;
    Exec("DELETE FROM sys_path");
  }

  void theDialogShowsTheFormsControlsAndLoadsSysPath() {
    Exec("INSERT INTO sys_path (id,fwqname,username,userkl) VALUES (3,'" + Dir() + "','sa','pa55')");
    LoginForm form;
    form.Load();
    FrmTarnLogin dialog(form);
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("岚峰帐套参数设定"));
    QCOMPARE(Child<QLineEdit>(&dialog, "txtFwqName")->text(), QString::fromStdString(Dir()));
    QCOMPARE(Child<QLineEdit>(&dialog, "txtUserName")->text(), QStringLiteral("sa"));
    auto* password = Child<QLineEdit>(&dialog, "txtUserPass");
    QCOMPARE(password->text(), QStringLiteral("pa55"));
    QCOMPARE(password->echoMode(), QLineEdit::Password);
    QCOMPARE(password->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, password), int('*'));
    QStringList labels;
    for (QLabel* label : dialog.findChildren<QLabel*>()) labels << label->text();
    for (const char* text : {"服务器名称:", "帐套名称:", "用户名称:", "口令:", "会计年度:"}) {
      QVERIFY2(labels.contains(QString::fromUtf8(text)), text);
    }
    QCOMPARE(Child<QPushButton>(&dialog, "CmdRefresh")->text(), QStringLiteral("刷新"));
    QCOMPARE(Child<QPushButton>(&dialog, "CmdQd")->text(), QStringLiteral("确定"));
    QCOMPARE(Child<QPushButton>(&dialog, "CmdQx")->text(), QStringLiteral("取消"));

    // Tab walks the rows as they stand on screen.
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    Child<QLineEdit>(&dialog, "txtFwqName")->setFocus();
    QStringList visited;
    for (int i = 0; i < 7; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QWidget* w = QApplication::focusWidget();
      while (w && w->objectName().isEmpty()) w = w->parentWidget();
      visited << (w ? w->objectName() : QString());
    }
    QCOMPARE(visited,
             QStringList({"txtUserName", "txtUserPass", "txtZtName", "txtPeriod", "CmdRefresh", "CmdQd", "CmdQx"}));
  }

  void refreshListsAccountSetsAndChoosingOneListsItsYears() {
    LoginForm form;
    form.Load();
    FrmTarnLogin dialog(form);
    dialog.show();
    Type(&dialog);
    QTest::mouseClick(Child<QPushButton>(&dialog, "CmdRefresh"), Qt::LeftButton);
    auto* accounts = Child<QComboBox>(&dialog, "txtZtName");
    auto* years = Child<QComboBox>(&dialog, "txtPeriod");
    QCOMPARE(accounts->count(), 2);
    QCOMPARE(accounts->currentIndex(), 0);
    QCOMPARE(accounts->currentText(), QStringLiteral("001|Tarn Demo Trading"));
    QCOMPARE(years->count(), 3);
    QCOMPARE(years->currentText(), QStringLiteral("2025"));
    // The user picks the second account set from the list.
    QTest::keyClick(accounts, Qt::Key_Down);
    QCOMPARE(accounts->currentText(), QStringLiteral("002|Tarn Demo Manufacturing"));
    QCOMPARE(years->currentText(), QStringLiteral("2025"));
    QCOMPARE(form.txtZtName.text, std::string("002|Tarn Demo Manufacturing"));
  }

  void okRemembersTheSettingsAndHandsBackTheAccountDatabase() {
    LoginForm form;
    form.Load();
    FrmTarnLogin dialog(form);
    dialog.show();
    Type(&dialog);
    QTest::mouseClick(Child<QPushButton>(&dialog, "CmdRefresh"), Qt::LeftButton);
    QTest::keyClick(Child<QComboBox>(&dialog, "txtPeriod"), Qt::Key_Up);  // 2024
    QTest::mouseClick(Child<QPushButton>(&dialog, "CmdQd"), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(Module().StrTarnConn,
             "Provider=SQLOLEDB.1;User ID=sa;PassWord=pa55;Initial Catalog=VALEDATA_001_2024;"
             "Data Source=" +
                 Dir());
    auto account = db::Connection::Create();
    QVERIFY(account->Open(Module().StrTarnConn, "", "").ok());
    std::string password;
    QCOMPARE(SysPathRows(&password), int64_t{1});
    QCOMPARE(password, std::string("pa55"));
  }

  void okWithAValueMissingSaysSoAndKeepsTheDialog() {
    LoginForm form;
    form.Load();
    FrmTarnLogin dialog(form);
    dialog.show();
    QTest::keyClicks(Child<QLineEdit>(&dialog, "txtFwqName"), QString::fromStdString(Dir()));
    Module().StrTarnConn = "earlier";
    Shown shown;
    AnswerNextBox(&shown);
    QTest::mouseClick(Child<QPushButton>(&dialog, "CmdQd"), Qt::LeftButton);
    QCOMPARE(shown.text, QStringLiteral("设置不正确!"));
    QCOMPARE(shown.title, QStringLiteral("岚峰帐套参数设置"));
    QCOMPARE(shown.icon, QMessageBox::Warning);
    QVERIFY(dialog.isVisible());
    QCOMPARE(Module().StrTarnConn, std::string());
    QCOMPARE(SysPathRows(), int64_t{0});
  }

  void cancelEmptiesStrTarnConnAndTheCloseBoxKeepsIt() {
    for (const bool cancel : {true, false}) {
      LoginForm form;
      form.Load();
      FrmTarnLogin dialog(form);
      dialog.show();
      Module().StrTarnConn = "earlier";
      if (cancel) {
        QTest::mouseClick(Child<QPushButton>(&dialog, "CmdQx"), Qt::LeftButton);
      } else {
        dialog.close();
      }
      QVERIFY(!dialog.isVisible());
      QCOMPARE(Module().StrTarnConn, cancel ? std::string() : std::string("earlier"));
    }
  }

  // The whole path a host takes: Login shows the modal dialog and returns
  // when the user has pressed OK.
  void loginShowsTheDialogModally() {
    SetFormPresenter(ShowModally);
    bool seen = false;
    QTimer::singleShot(0, [&] {
      QWidget* dialog = QApplication::activeModalWidget();
      if (!dialog) return;
      seen = dialog->windowTitle() == QStringLiteral("岚峰帐套参数设定");
      Type(dialog);
      QTest::mouseClick(Child<QPushButton>(dialog, "CmdRefresh"), Qt::LeftButton);
      QTest::mouseClick(Child<QPushButton>(dialog, "CmdQd"), Qt::LeftButton);
    });
    CompactLogin login;
    login.Login();
    SetFormPresenter(nullptr);
    QVERIFY(seen);
    QVERIFY(login.StrTarnConn().find("Initial Catalog=VALEDATA_001_2025;") != std::string::npos);
  }

  // The README's picture: the dialog after a refresh, at the size it opens
  // with, drawn with the CJK font our scripts install. Redrawn, it shows a
  // demo company where the README's commands put one, not this test's
  // temporary directory.
  void theFilledDialogRenders() {
    QVERIFY2(!QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty(), "no Chinese font installed");
    const QByteArray target = qgetenv("TARN_COMPACT_SCREENSHOT");
    std::string server = Dir();
    struct Remove {
      QString path;
      ~Remove() {
        if (!path.isEmpty()) QDir(path).removeRecursively();
      }
    } demo;
    if (!target.isEmpty()) {
      server = "/tmp/tarn-demo";
      QVERIFY2(!QDir(QString::fromStdString(server)).exists(), "/tmp/tarn-demo exists: remove it first");
      QVERIFY(QDir().mkpath(QString::fromStdString(server)));
      demo.path = QString::fromStdString(server);
      auto conn = db::Connection::Create();
      QVERIFY(conn->Open("Provider=SQLite;Data Source=" + server, "", "").ok());
      QVERIFY(suite::CreateSystemDatabase(*conn).ok());
      QVERIFY(suite::LoadDemoData(*conn).ok());
    }
    LoginForm form;
    form.Load();
    FrmTarnLogin dialog(form);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClicks(Child<QLineEdit>(&dialog, "txtFwqName"), QString::fromStdString(server));
    QTest::keyClicks(Child<QLineEdit>(&dialog, "txtUserName"), "sa");
    QTest::keyClicks(Child<QLineEdit>(&dialog, "txtUserPass"), "pa55");
    QTest::mouseClick(Child<QPushButton>(&dialog, "CmdRefresh"), Qt::LeftButton);
    QVERIFY(Child<QComboBox>(&dialog, "txtZtName")->count() > 0);
    const QImage image = dialog.grab().toImage();
    QVERIFY(!image.isNull());
    // The whole dialog as it opens: its own size, no less than its minimum.
    QCOMPARE(image.deviceIndependentSize().toSize(), dialog.size());
    QVERIFY(dialog.width() >= dialog.minimumWidth() && dialog.height() >= dialog.sizeHint().height());
    // Drawn, not blank: text and frames give many colours over the background.
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2) {
      for (int x = 0; x < image.width(); x += 2) colours.insert(image.pixel(x, y));
    }
    QVERIFY2(colours.size() > 16, "the picture is (nearly) one colour");
    if (!target.isEmpty()) QVERIFY(image.save(QString::fromLocal8Bit(target)));
  }
};

}  // namespace tarn::compact

QTEST_MAIN(tarn::compact::CompactDialogTest)
#include "compact_dialog_test.moc"
