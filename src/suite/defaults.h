// Registers our stand-ins for the suite's outside components as the
// defaults of the object registry: the message package, the two closed
// libraries, the login interface and its context, and the database kit.
// A host's own registrations, made earlier or later, win. The entry file of
// each library edition calls this when the library is loaded; programs that
// link the component statically (the tool, the tests) call it themselves.
#ifndef TARN_SUITE_DEFAULTS_H_
#define TARN_SUITE_DEFAULTS_H_

#include "platform/object_registry.h"
#include "tarn/edition.h"

namespace tarn::suite {

// Once per process: a later call with another edition changes nothing.
void RegisterStandIns(Edition edition);

// The database kit "valedbkit.ValeDatabase" on our data layer.
void RegisterDefaultDatabaseKit(ObjectRegistry& registry);

}  // namespace tarn::suite

#endif  // TARN_SUITE_DEFAULTS_H_
