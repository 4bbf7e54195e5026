// Entry point of the compact library: the settings form shows as a Qt
// dialog, and TarnLogin.Login is served through the C interface. A host
// registers nothing; one without a QApplication gets one.
#include "capi/class_table.h"
#include "compact/form_presenter.h"
#include "compact/login_type.h"
#include "compact/qt/frm_tarn_login.h"

namespace {

// When the library is loaded, before any object exists.
[[maybe_unused]] const bool dialog_registered = (tarn::compact::SetFormPresenter(tarn::compact::ShowModally), true);

bool ServeLogin() {
  using tarn::compact::LoginObject;
  tarn::capi::ServeClass({tarn::compact::kProgId, "{6F1C2A42-8B1E-4D2A-9C3E-5A0B7D11C100}",
                          [] { return std::make_shared<LoginObject>(); }});
  tarn::capi::ResolveTypesWith([](const tarn::Object& object) -> const tarn::TypeInfo* {
    return dynamic_cast<const LoginObject*>(&object) ? &tarn::compact::LoginType() : nullptr;
  });
  return true;
}
[[maybe_unused]] const bool class_served = ServeLogin();

}  // namespace
