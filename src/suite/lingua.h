// The suite's multi-language package: a factory of resource and locale
// services, a formatter and a layout service, each created by ProgID.
#ifndef TARN_SUITE_LINGUA_H_
#define TARN_SUITE_LINGUA_H_

#include <memory>
#include <string>
#include <string_view>

#include "tarn/variant.h"

namespace tarn::suite {

inline constexpr std::string_view kResourceFactoryProgId = "LinguaKit.ResourceServiceFactory";
inline constexpr std::string_view kResourceFormatterProgId = "LinguaKit.CService_ResourceFormatter";
inline constexpr std::string_view kLayoutServiceProgId = "LinguaKit.CService_FormXAMLLayout";

class ResourceService : public Object {
 public:
  std::string TypeName() const override { return "ResourceService"; }
  // The text of `res_id` in the current language; empty when unknown.
  virtual std::string GetString(const std::string& res_id) = 0;
};

class ResourceFormatter : public Object {
 public:
  std::string TypeName() const override { return "ResourceFormatter"; }
  // The text with its numbered places ({1}, {2}, ...) filled from `args` in
  // order; empty when the id is unknown.
  virtual std::string GetString(const std::string& res_id, const Array& args) = 0;
};

class LocalService : public Object {
 public:
  std::string TypeName() const override { return "LocalService"; }
  virtual std::string GetLocalID() = 0;  // "en-us", "zh-cn", "zh-tw"
};

class LayoutService : public Object {
 public:
  std::string TypeName() const override { return "LayoutService"; }
  virtual void SetXAMLFileRootPath(const std::string& path) = 0;
};

class ResourceServiceFactory : public Object {
 public:
  std::string TypeName() const override { return "ResourceServiceFactory"; }
  virtual std::shared_ptr<ResourceService> GetResourceService() = 0;
  virtual std::shared_ptr<LocalService> GetLocalService() = 0;
};

}  // namespace tarn::suite

#endif  // TARN_SUITE_LINGUA_H_
