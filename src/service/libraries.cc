#include "service/libraries.h"

#include "platform/object_registry.h"

namespace tarn::service {

std::shared_ptr<boundary::Sundry> Sundry() {
  return ObjectRegistry::Global().CreateAs<boundary::Sundry>(boundary::kSundryLibrary);
}

std::shared_ptr<boundary::Parley> Parley() {
  return ObjectRegistry::Global().CreateAs<boundary::Parley>(boundary::kParleyLibrary);
}

}  // namespace tarn::service
