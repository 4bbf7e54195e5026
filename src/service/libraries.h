// The suite's closed libraries as the service commands bind them: by name,
// at each use, so that a missing library is an error of the calling
// operation (ComError 429).
#ifndef TARN_SERVICE_LIBRARIES_H_
#define TARN_SERVICE_LIBRARIES_H_

#include <memory>

#include "boundary/suite.h"

namespace tarn::service {

std::shared_ptr<boundary::Sundry> Sundry();
std::shared_ptr<boundary::Parley> Parley();

}  // namespace tarn::service

#endif  // TARN_SERVICE_LIBRARIES_H_
