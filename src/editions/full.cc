// Entry points of the full edition of the login library: the edition its
// objects take by default, and the stand-ins for the suite's outside
// components that it brings along. A host registers its own components
// under the same ProgIDs, before or after loading, and they win.
#include "suite/defaults.h"
#include "tarn/login.h"
#include "typelib/entry_points.h"
#include "typelib/served_classes.h"

namespace tarn {

clsLogin::clsLogin() : clsLogin(Edition::kFull) {}

}  // namespace tarn

extern "C" tarn::Edition TarnLibraryEdition() { return tarn::Edition::kFull; }

namespace {

// When the library is loaded, before any object exists.
[[maybe_unused]] const bool stand_ins_registered = (tarn::suite::RegisterStandIns(tarn::Edition::kFull), true);
[[maybe_unused]] const bool classes_served = (tarn::typelib::ServeClasses(tarn::Edition::kFull), true);

}  // namespace
