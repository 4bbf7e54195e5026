// Connection strings as hosts, registry files and the login interface hand
// them over, and the names and password the component derives from them.
#include <cstdint>
#include <string>

#include "db/connection_string.h"
#include "signon/connection_data.h"
#include "tarn/com_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  tarn::db::ConnectionString cs;
  if (tarn::db::ConnectionString::Parse(text, &cs).ok()) {
    (void)cs.Get("Data Source");
    (void)cs.GetExact("Initial Catalog");
    (void)cs.Masked();
    (void)tarn::db::OdbcQuote(cs.Get("Password"));
  }
  try {
    (void)tarn::signon::DataServerName(text);
    (void)tarn::signon::DatabasePassword(text);
  } catch (const tarn::ComError&) {
    // no data source named: raised to the caller
  }
  return 0;
}
