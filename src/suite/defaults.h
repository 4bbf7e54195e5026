// Registers our implementations of the suite's outside components as the
// defaults of the object registry (once per process; a host's own
// registrations made earlier or later win).
#ifndef TARN_SUITE_DEFAULTS_H_
#define TARN_SUITE_DEFAULTS_H_

#include "platform/object_registry.h"

namespace tarn::suite {

void RegisterDefaults();

// The database kit "valedbkit.ValeDatabase" on our data layer.
void RegisterDefaultDatabaseKit(ObjectRegistry& registry);

}  // namespace tarn::suite

#endif  // TARN_SUITE_DEFAULTS_H_
