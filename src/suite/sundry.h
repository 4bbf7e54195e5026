// Our implementation of the suite's "sundry" library.
#ifndef TARN_SUITE_SUNDRY_H_
#define TARN_SUITE_SUNDRY_H_

#include "platform/object_registry.h"
#include "boundary/suite.h"

namespace tarn::suite {

void RegisterDefaultSundry(ObjectRegistry& registry);

}  // namespace tarn::suite

#endif  // TARN_SUITE_SUNDRY_H_
