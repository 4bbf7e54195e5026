// The texts of the default message package, one row per resource id.
#ifndef TARN_SUITE_LINGUA_CATALOG_H_
#define TARN_SUITE_LINGUA_CATALOG_H_

#include <span>
#include <string_view>

namespace tarn::suite {

struct CatalogEntry {
  std::string_view id;
  std::string_view en_us;
  std::string_view zh_cn;
  std::string_view zh_tw;
};

std::span<const CatalogEntry> DefaultCatalog();

// The text of `id` (exact, case-sensitive) in `language` ("en-us", "zh-cn",
// "zh-tw"; anything else reads as English); empty when the id is unknown.
std::string_view CatalogText(std::string_view id, std::string_view language);

}  // namespace tarn::suite

#endif  // TARN_SUITE_LINGUA_CATALOG_H_
