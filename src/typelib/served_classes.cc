#include "typelib/served_classes.h"

#include "capi/class_table.h"
#include "tarn/error_res.h"
#include "tarn/login.h"
#include "typelib/login_type.h"

namespace tarn::typelib {

void ServeClasses(Edition edition) {
  const bool full = edition == Edition::kFull;
  capi::ServeClass({kLoginProgId,
                    full ? "{6F1C2A40-8B1E-4D2A-9C3E-5A0B7D11C610}" : "{6F1C2A40-8B1E-4D2A-9C3E-5A0B7D11C700}",
                    [edition] { return std::make_shared<clsLogin>(edition); }});
  capi::ServeClass({kErrorResProgId,
                    full ? "{6F1C2A41-8B1E-4D2A-9C3E-5A0B7D11C610}" : "{6F1C2A41-8B1E-4D2A-9C3E-5A0B7D11C700}",
                    [] { return std::make_shared<clsErrorRes>(); }});
  capi::ResolveTypesWith([](const Object& object) -> const TypeInfo* {
    if (const auto* login = dynamic_cast<const clsLogin*>(&object)) return &LoginType(login->edition());
    if (dynamic_cast<const clsErrorRes*>(&object)) return &ErrorResType();
    return nullptr;
  });
}

}  // namespace tarn::typelib
