#include "platform/object_registry.h"

#include "platform/text.h"

namespace tarn {

ObjectRegistry& ObjectRegistry::Global() {
  static ObjectRegistry* registry = new ObjectRegistry;  // never destroyed: used from thread exits
  return *registry;
}

void ObjectRegistry::Register(std::string_view prog_id, Factory factory) {
  std::lock_guard lock(mu_);
  factories_[AsciiLower(prog_id)] = std::move(factory);
}

void ObjectRegistry::RegisterDefault(std::string_view prog_id, const Factory& factory) {
  std::lock_guard lock(mu_);
  factories_.try_emplace(AsciiLower(prog_id), factory);  // copied only when it is the first
}

void ObjectRegistry::Unregister(std::string_view prog_id) {
  std::lock_guard lock(mu_);
  factories_.erase(AsciiLower(prog_id));
}

bool ObjectRegistry::IsRegistered(std::string_view prog_id) const { return Find(prog_id) != nullptr; }

ObjectRegistry::Factory ObjectRegistry::Find(std::string_view prog_id) const {
  std::lock_guard lock(mu_);
  auto it = factories_.find(AsciiLower(prog_id));
  return it == factories_.end() ? Factory() : it->second;
}

ObjectPtr ObjectRegistry::Create(std::string_view prog_id) const {
  Factory factory = Find(prog_id);
  ObjectPtr object = factory ? factory() : nullptr;
  if (!object) {
    throw ComError(errnum::kCannotCreate, "ActiveX component can't create object: " + std::string(prog_id));
  }
  return object;
}

ScopedRegistration::ScopedRegistration(std::string_view prog_id, ObjectRegistry::Factory factory)
    : prog_id_(prog_id), previous_(ObjectRegistry::Global().Find(prog_id)) {
  ObjectRegistry::Global().Register(prog_id_, std::move(factory));
}

ScopedRegistration::~ScopedRegistration() {
  if (previous_) {
    ObjectRegistry::Global().Register(prog_id_, std::move(previous_));
  } else {
    ObjectRegistry::Global().Unregister(prog_id_);
  }
}

}  // namespace tarn
