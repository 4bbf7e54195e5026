// The member tables of the login library's public classes.
#ifndef TARN_TYPELIB_LOGIN_TYPE_H_
#define TARN_TYPELIB_LOGIN_TYPE_H_

#include "tarn/edition.h"
#include "platform/dispatch.h"

namespace tarn::typelib {

// _clsLogin in interface order; the extended edition appends its members.
const TypeInfo& LoginType(Edition edition);
const TypeInfo& ErrorResType();

}  // namespace tarn::typelib

#endif  // TARN_TYPELIB_LOGIN_TYPE_H_
