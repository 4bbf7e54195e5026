// Another of our libraries, loaded by the path the registry file names for
// a class this library does not serve: its C interface, called through
// pointers so that each library keeps its own handles.
#ifndef TARN_CAPI_FOREIGN_H_
#define TARN_CAPI_FOREIGN_H_

#include <string>

#include "tarn/status.h"
#include "tarn/tarn.h"

namespace tarn::capi {

struct ForeignLibrary {
  std::string path;
  int (*get_class_object)(const char*, tarn_factory**) = nullptr;
  int (*factory_create)(tarn_factory*, tarn_object**) = nullptr;
  int (*factory_release)(tarn_factory*) = nullptr;
  int (*invoke)(tarn_object*, const char*, tarn_variant*, int32_t, tarn_variant*) = nullptr;
  int (*get)(tarn_object*, const char*, tarn_variant*) = nullptr;
  int (*set)(tarn_object*, const char*, const tarn_variant*) = nullptr;
  const char* (*type_name)(tarn_object*) = nullptr;
  int (*release)(tarn_object*) = nullptr;
  int32_t (*error_number)() = nullptr;
  const char* (*error_description)() = nullptr;
};

// The library that serves `prog_id` according to the registry file, loaded
// once and kept for the process. Fails when the class is not registered or
// its library does not load.
Status LoadServerOf(const std::string& prog_id, std::string* class_id, const ForeignLibrary** out);

}  // namespace tarn::capi

#endif  // TARN_CAPI_FOREIGN_H_
