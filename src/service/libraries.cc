#include "service/libraries.h"

#include "platform/object_registry.h"
#include "suite/defaults.h"

namespace tarn::service {

std::shared_ptr<suite::Sundry> Sundry() {
  suite::RegisterDefaults();
  return ObjectRegistry::Global().CreateAs<suite::Sundry>(suite::kSundryLibrary);
}

std::shared_ptr<suite::Parley> Parley() {
  suite::RegisterDefaults();
  return ObjectRegistry::Global().CreateAs<suite::Parley>(suite::kParleyLibrary);
}

}  // namespace tarn::service
