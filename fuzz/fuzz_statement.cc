// Statement templates through each dialect, with in-lists of any size.
#include <cstdint>
#include <string>
#include <vector>

#include "db/dialect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string sql(reinterpret_cast<const char*>(data) + 1, size - 1);
  // The first byte chooses how many placeholders are lists, and how long.
  std::vector<int> sizes(data[0] % 8, -1);
  for (size_t i = 0; i < sizes.size(); ++i) sizes[i] = (data[0] >> 3) & 1 ? static_cast<int>(i % 4) : -1;
  for (tarn::db::Flavor flavor : {tarn::db::Flavor::kTsql, tarn::db::Flavor::kSqlite, tarn::db::Flavor::kPostgres}) {
    tarn::db::Dialect dialect{flavor, flavor == tarn::db::Flavor::kPostgres};
    tarn::db::Translation t;
    (void)tarn::db::Translate(sql, dialect, sizes, &t);
  }
  return 0;
}
