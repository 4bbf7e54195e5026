// Creation of outside components by ProgID. Ours are registered as defaults;
// a host may register its own implementation under the same ProgID, which
// then wins.
#ifndef TARN_PLATFORM_OBJECT_REGISTRY_H_
#define TARN_PLATFORM_OBJECT_REGISTRY_H_

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "tarn/com_error.h"
#include "tarn/variant.h"

namespace tarn {

class ObjectRegistry {
 public:
  using Factory = std::function<ObjectPtr()>;

  static ObjectRegistry& Global();

  // Replaces whatever was registered under `prog_id`.
  void Register(std::string_view prog_id, Factory factory);
  // Registers only when nothing is registered under `prog_id` yet.
  void RegisterDefault(std::string_view prog_id, const Factory& factory);
  void Unregister(std::string_view prog_id);
  bool IsRegistered(std::string_view prog_id) const;
  Factory Find(std::string_view prog_id) const;

  // Throws ComError 429 when nothing is registered or the factory fails.
  ObjectPtr Create(std::string_view prog_id) const;

  // Creates and casts; throws ComError 13 when the object is of another kind.
  template <class T>
  std::shared_ptr<T> CreateAs(std::string_view prog_id) const {
    ObjectPtr object = Create(prog_id);
    auto typed = std::dynamic_pointer_cast<T>(object);
    if (!typed) {
      throw ComError(errnum::kTypeMismatch,
                     "Type mismatch: '" + std::string(prog_id) + "' does not provide the expected interface");
    }
    return typed;
  }

 private:
  mutable std::mutex mu_;
  std::map<std::string, Factory, std::less<>> factories_;  // keyed by lower-cased ProgID
};

// Registers `factory` under `prog_id` for its lifetime and restores what was
// there before (tests and hosts that swap a component for a while).
class ScopedRegistration {
 public:
  ScopedRegistration(std::string_view prog_id, ObjectRegistry::Factory factory);
  ~ScopedRegistration();
  ScopedRegistration(const ScopedRegistration&) = delete;
  ScopedRegistration& operator=(const ScopedRegistration&) = delete;

 private:
  std::string prog_id_;
  ObjectRegistry::Factory previous_;
};

}  // namespace tarn

#endif  // TARN_PLATFORM_OBJECT_REGISTRY_H_
