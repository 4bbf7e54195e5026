#include <mutex>

#include "compact/form_presenter.h"
#include "compact/mod_login.h"
#include "tarn/com_error.h"
#include "tarn/compact_login.h"

namespace tarn {
namespace {

std::mutex presenter_mu;

compact::FormPresenter& Presenter() {
  static compact::FormPresenter presenter;
  return presenter;
}

}  // namespace

namespace compact {

void SetFormPresenter(FormPresenter presenter) {
  std::lock_guard lock(presenter_mu);
  Presenter() = std::move(presenter);
}

}  // namespace compact

void CompactLogin::Login() {
  compact::FormPresenter show;
  {
    std::lock_guard lock(presenter_mu);
    show = Presenter();
  }
  // The form is the thread's while it shows: a second Login from one of
  // its message boxes would show it twice.
  thread_local bool showing = false;
  if (showing) throw ComError(errnum::kInvalidCall, "The settings form is already shown", "TarnLogin.Login");
  compact::LoginForm form;
  form.Load();
  if (!show) {
    throw ComError(errnum::kInvalidCall, "This program has no dialog to show the settings form with",
                   "TarnLogin.Login");
  }
  struct Shown {
    ~Shown() { showing = false; }
  } shown;
  showing = true;
  show(form);
}

std::string CompactLogin::StrTarnConn() const { return compact::Module().StrTarnConn; }
void CompactLogin::set_StrTarnConn(const std::string& value) { compact::Module().StrTarnConn = value; }
std::string CompactLogin::StrConn() const { return compact::Module().StrConn; }
void CompactLogin::set_StrConn(const std::string& value) { compact::Module().StrConn = value; }

}  // namespace tarn
