// The objects of the default message package. Each takes the current
// language when it is created, as a freshly created service of the suite's
// package does.
#ifndef TARN_SUITE_LINGUA_SERVICES_H_
#define TARN_SUITE_LINGUA_SERVICES_H_

#include <memory>
#include <string>

#include "boundary/suite.h"

namespace tarn::suite {

using boundary::LayoutService;
using boundary::LocalService;
using boundary::ResourceFormatter;
using boundary::ResourceService;
using boundary::ResourceServiceFactory;

class CatalogResourceService final : public ResourceService {
 public:
  CatalogResourceService();
  std::string GetString(const std::string& res_id) override;
  const std::string& language() const { return language_; }

 private:
  std::string language_;
};

class CatalogResourceFormatter final : public ResourceFormatter {
 public:
  CatalogResourceFormatter();
  std::string GetString(const std::string& res_id, const Array& args) override;

 private:
  std::string language_;
};

class CurrentLocalService final : public LocalService {
 public:
  CurrentLocalService();
  std::string GetLocalID() override { return language_; }

 private:
  std::string language_;
};

// Form layouts have no use on this platform; the root path is only kept.
class PathLayoutService final : public LayoutService {
 public:
  void SetXAMLFileRootPath(const std::string& path) override { root_path_ = path; }
  const std::string& root_path() const { return root_path_; }

 private:
  std::string root_path_;
};

class CatalogServiceFactory final : public ResourceServiceFactory {
 public:
  std::shared_ptr<ResourceService> GetResourceService() override;
  std::shared_ptr<LocalService> GetLocalService() override;
};

}  // namespace tarn::suite

#endif  // TARN_SUITE_LINGUA_SERVICES_H_
