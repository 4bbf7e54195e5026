// Who shows the settings form: the library registers its Qt dialog when it
// loads; tests and hosts without widgets register their own.
#ifndef TARN_COMPACT_FORM_PRESENTER_H_
#define TARN_COMPACT_FORM_PRESENTER_H_

#include <functional>

#include "compact/login_form.h"

namespace tarn::compact {

// Shows a loaded form modally and returns when it has closed. May throw
// ComError (no display).
using FormPresenter = std::function<void(LoginForm&)>;

// For the process; an empty one leaves Login failing with "no dialog".
void SetFormPresenter(FormPresenter presenter);

}  // namespace tarn::compact

#endif  // TARN_COMPACT_FORM_PRESENTER_H_
