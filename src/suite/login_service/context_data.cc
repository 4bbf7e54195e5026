#include "suite/login_service/context_data.h"

#include <strings.h>

#include "tarn/com_error.h"

namespace tarn::suite {

using boundary::ContextData;
using boundary::ProductContext;
using boundary::UserData;

bool NoCase::operator()(const std::string& a, const std::string& b) const {
  return strcasecmp(a.c_str(), b.c_str()) < 0;
}

template <class Base>
Variant MemberData<Base>::Get(std::string_view member) const {
  auto it = members_.find(std::string(member));
  if (it == members_.end()) {
    throw ComError(errnum::kNoSuchMember, "Object doesn't support this property or method: " + std::string(member));
  }
  return it->second;
}

template class MemberData<UserData>;
template class MemberData<ProductContext>;
template class MemberData<ContextData>;

}  // namespace tarn::suite
