#include "suite/lingua/services.h"

#include "suite/lingua/catalog.h"
#include "suite/lingua/format.h"
#include "suite/lingua/language.h"

namespace tarn::suite {

using boundary::LocalService;
using boundary::ResourceService;

CatalogResourceService::CatalogResourceService() : language_(CurrentLanguage()) {}

std::string CatalogResourceService::GetString(const std::string& res_id) {
  return std::string(CatalogText(res_id, language_));
}

CatalogResourceFormatter::CatalogResourceFormatter() : language_(CurrentLanguage()) {}

std::string CatalogResourceFormatter::GetString(const std::string& res_id, const Array& args) {
  return FormatPlaces(CatalogText(res_id, language_), args);
}

CurrentLocalService::CurrentLocalService() : language_(CurrentLanguage()) {}

std::shared_ptr<ResourceService> CatalogServiceFactory::GetResourceService() {
  return std::make_shared<CatalogResourceService>();
}

std::shared_ptr<LocalService> CatalogServiceFactory::GetLocalService() {
  return std::make_shared<CurrentLocalService>();
}

}  // namespace tarn::suite
