// The classes a library serves through its C interface, and the member
// tables of the objects it hands out. Each library's entry file fills
// them when the library loads.
#ifndef TARN_CAPI_CLASS_TABLE_H_
#define TARN_CAPI_CLASS_TABLE_H_

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dispatch.h"
#include "tarn/variant.h"

namespace tarn::capi {

struct ClassEntry {
  std::string prog_id;   // "TarnLogin.clsLogin"
  std::string class_id;  // "{...}", this build's own
  std::function<ObjectPtr()> make;
};

void ServeClass(ClassEntry entry);
// By ProgID or class id, case-insensitively; nullopt when not served here.
std::optional<ClassEntry> FindClass(std::string_view prog_id_or_class_id);
std::vector<ClassEntry> ServedClasses();

// The member table of an object of this library; nullptr when it has none
// (a recordset or a connection can be handed on, not called).
using TypeResolver = std::function<const TypeInfo*(const Object&)>;
void ResolveTypesWith(TypeResolver resolver);
const TypeInfo* TypeOf(const Object& object);

}  // namespace tarn::capi

#endif  // TARN_CAPI_CLASS_TABLE_H_
