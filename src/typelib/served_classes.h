// The classes each edition of the login library serves through the C
// interface and the server entry points, with this build's class ids.
#ifndef TARN_TYPELIB_SERVED_CLASSES_H_
#define TARN_TYPELIB_SERVED_CLASSES_H_

#include "tarn/edition.h"

namespace tarn::typelib {

inline constexpr char kLoginProgId[] = "TarnLogin.clsLogin";
inline constexpr char kErrorResProgId[] = "TarnLogin.clsErrorRes";

// TarnLogin.clsLogin of `edition` and TarnLogin.clsErrorRes, and the member
// tables of the objects they hand out.
void ServeClasses(Edition edition);

}  // namespace tarn::typelib

#endif  // TARN_TYPELIB_SERVED_CLASSES_H_
