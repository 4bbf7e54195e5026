#include "service/libraries.h"

#include "platform/object_registry.h"

namespace tarn::service {

std::shared_ptr<suite::Sundry> Sundry() {
  return ObjectRegistry::Global().CreateAs<suite::Sundry>(suite::kSundryLibrary);
}

std::shared_ptr<suite::Parley> Parley() {
  return ObjectRegistry::Global().CreateAs<suite::Parley>(suite::kParleyLibrary);
}

}  // namespace tarn::service
