// The parts of one login object. clsLogin is the facade; each operation
// lives in the folder of its concern (signon/, tasks/, calendar/,
// service/, extended/) and is handed only the parts it needs, the ones it
// may only read as const. The sign-on and the release sequence, which make
// and unmake a signed-on object, take them all.
#ifndef TARN_CORE_LOGIN_PARTS_H_
#define TARN_CORE_LOGIN_PARTS_H_

#include <array>
#include <string>
#include <string_view>

#include "core/connections.h"
#include "core/extended_state.h"
#include "core/heartbeat.h"
#include "core/identity.h"
#include "core/task_control.h"

namespace tarn::core {

// The ten values a caller keeps with GetAccInfo (indexes 0 to 9 set, 60
// to 69 read back); only GetAccInfo touches them.
struct AccountValues {
  std::array<std::string, 10> UserValues;
};

struct LoginParts {
  explicit LoginParts(Edition e) : identity(e) {}

  Identity identity;
  Connections connections;
  TaskControl tasks;
  AccountValues values;
  ExtendedState extended;
  Heartbeat heartbeat;
};

// The members that only the extended edition has raise 438 on an object of
// the full edition, as late binding on the full edition's interface does.
void RequireExtended(const Identity& id, std::string_view member);

}  // namespace tarn::core

#endif  // TARN_CORE_LOGIN_PARTS_H_
