// The data objects of the login context: a set of named members.
#ifndef TARN_SUITE_LOGIN_SERVICE_CONTEXT_DATA_H_
#define TARN_SUITE_LOGIN_SERVICE_CONTEXT_DATA_H_

#include <map>
#include <memory>
#include <string>

#include "boundary/suite.h"

namespace tarn::suite {

using boundary::ContextData;
using boundary::ProductContext;
using boundary::UserData;

struct NoCase {
  bool operator()(const std::string& a, const std::string& b) const;
};
using Members = std::map<std::string, Variant, NoCase>;

template <class Base>
class MemberData final : public Base {
 public:
  explicit MemberData(Members members) : members_(std::move(members)) {}
  Variant Get(std::string_view member) const override;
  const Members& members() const { return members_; }

 private:
  Members members_;
};

using UserDataObject = MemberData<UserData>;
using ProductContextObject = MemberData<ProductContext>;
using SubLoginDataObject = MemberData<ContextData>;

}  // namespace tarn::suite

#endif  // TARN_SUITE_LOGIN_SERVICE_CONTEXT_DATA_H_
