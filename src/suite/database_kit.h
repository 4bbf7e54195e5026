// The suite's database kit, handed to modules through ValeSystemDb.
#ifndef TARN_SUITE_DATABASE_KIT_H_
#define TARN_SUITE_DATABASE_KIT_H_

#include <string>
#include <string_view>

#include "tarn/variant.h"

namespace tarn::suite {

inline constexpr std::string_view kDatabaseKitProgId = "valedbkit.ValeDatabase";

class DatabaseKit : public Object {
 public:
  std::string TypeName() const override { return "ValeDatabase"; }
  virtual void opendatabase(const std::string& connection_string) = 0;  // throws ComError
  virtual void oClose() = 0;
};

}  // namespace tarn::suite

#endif  // TARN_SUITE_DATABASE_KIT_H_
