// Our implementation of the suite's multi-language package: compiled-in
// catalogs in English, Simplified and Traditional Chinese.
#ifndef TARN_SUITE_LINGUA_LINGUA_PACKAGE_H_
#define TARN_SUITE_LINGUA_LINGUA_PACKAGE_H_

#include "platform/object_registry.h"

namespace tarn::suite {

// Registers the factory, the formatter and the layout service under their
// ProgIDs, unless a host registered its own first.
void RegisterDefaultLingua(ObjectRegistry& registry);

}  // namespace tarn::suite

#endif  // TARN_SUITE_LINGUA_LINGUA_PACKAGE_H_
