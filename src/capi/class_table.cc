#include "capi/class_table.h"

#include <mutex>

#include "platform/text.h"

namespace tarn::capi {
namespace {

struct Table {
  std::mutex mu;
  std::vector<ClassEntry> classes;
  std::vector<TypeResolver> resolvers;
};

Table& table() {
  static Table* t = new Table;  // used from static initialisers and at exit alike
  return *t;
}

}  // namespace

void ServeClass(ClassEntry entry) {
  std::lock_guard lock(table().mu);
  table().classes.push_back(std::move(entry));
}

std::optional<ClassEntry> FindClass(std::string_view name) {
  std::lock_guard lock(table().mu);
  for (const ClassEntry& c : table().classes) {
    if (EqualsNoCase(c.prog_id, name) || EqualsNoCase(c.class_id, name)) return c;
  }
  return std::nullopt;
}

std::vector<ClassEntry> ServedClasses() {
  std::lock_guard lock(table().mu);
  return table().classes;
}

void ResolveTypesWith(TypeResolver resolver) {
  std::lock_guard lock(table().mu);
  table().resolvers.push_back(std::move(resolver));
}

const TypeInfo* TypeOf(const Object& object) {
  std::lock_guard lock(table().mu);
  for (const TypeResolver& resolve : table().resolvers) {
    if (const TypeInfo* type = resolve(object)) return type;
  }
  return nullptr;
}

}  // namespace tarn::capi
