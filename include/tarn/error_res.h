// The error record that GetLastErrorResID hands out: the resource id of the
// last error's message and its arguments, so that a caller can show the
// message again in another language.
#ifndef TARN_ERROR_RES_H_
#define TARN_ERROR_RES_H_

#include <string>

#include "tarn/export.h"
#include "tarn/variant.h"

namespace tarn {

class TARN_EXPORT clsErrorRes : public Object {
 public:
  std::string TypeName() const override { return "clsErrorRes"; }

  const std::string& ResId() const { return res_id_; }
  void set_ResId(std::string value) { res_id_ = std::move(value); }
  // Both directions copy the whole array.
  Array ResArg() const { return res_arg_; }
  void set_ResArg(const Array& value) { res_arg_ = value; }

 private:
  std::string res_id_;
  Array res_arg_;
};

}  // namespace tarn

#endif  // TARN_ERROR_RES_H_
