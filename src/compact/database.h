// Database calls of the compact build as its form makes them: each opens
// its own connection on the string it is given, and a failure becomes the
// error the provider raised, with its number and description.
#ifndef TARN_COMPACT_DATABASE_H_
#define TARN_COMPACT_DATABASE_H_

#include <string>

#include "db/connection.h"
#include "tarn/status.h"

namespace tarn::compact {

// Throws ComError when the string does not open.
db::ConnectionPtr OpenOrRaise(const std::string& connection_string);
// Throws ComError for a failed `s`, numbered as `conn` recorded it.
void RaiseIfFailed(const db::Connection& conn, const Status& s);

}  // namespace tarn::compact

#endif  // TARN_COMPACT_DATABASE_H_
