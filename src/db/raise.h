// A failed database call as the error a provider raises to its caller, for
// the code paths that let database errors reach their caller.
#ifndef TARN_DB_RAISE_H_
#define TARN_DB_RAISE_H_

#include "db/backend.h"
#include "tarn/com_error.h"
#include "tarn/status.h"

namespace tarn::db {

inline void RaiseIfFailed(const Status& s, const char* source = "Provider") {
  if (!s.ok()) throw ComError(kErrOpen, s.message(), source);  // E_FAIL
}

}  // namespace tarn::db

#endif  // TARN_DB_RAISE_H_
