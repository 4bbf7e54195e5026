#include "suite/lingua/lingua_package.h"

#include "boundary/suite.h"
#include "suite/lingua/services.h"

namespace tarn::suite {

using boundary::kLayoutServiceProgId;
using boundary::kResourceFactoryProgId;
using boundary::kResourceFormatterProgId;

void RegisterDefaultLingua(ObjectRegistry& registry) {
  registry.RegisterDefault(kResourceFactoryProgId, [] { return std::make_shared<CatalogServiceFactory>(); });
  registry.RegisterDefault(kResourceFormatterProgId, [] { return std::make_shared<CatalogResourceFormatter>(); });
  registry.RegisterDefault(kLayoutServiceProgId, [] { return std::make_shared<PathLayoutService>(); });
}

}  // namespace tarn::suite
