// Entry point of the compact library: the settings form shows as a Qt
// dialog. A host registers nothing; one without a QApplication gets one.
#include "compact/form_presenter.h"
#include "compact/qt/frm_tarn_login.h"

namespace {

// When the library is loaded, before any object exists.
[[maybe_unused]] const bool dialog_registered =
    (tarn::compact::SetFormPresenter(tarn::compact::ShowModally), true);

}  // namespace
