// Filling the numbered places of a catalog text.
#ifndef TARN_SUITE_LINGUA_FORMAT_H_
#define TARN_SUITE_LINGUA_FORMAT_H_

#include <string>
#include <string_view>

#include "tarn/variant.h"

namespace tarn::suite {

// Replaces {1}, {2}, ... by the first, second, ... element of `args`,
// whatever its lower bound; a place without an argument, or with one that
// has no text form, becomes empty. "{{" and "}}" stand for single braces;
// any other brace is kept as it is.
std::string FormatPlaces(std::string_view text, const Array& args);

}  // namespace tarn::suite

#endif  // TARN_SUITE_LINGUA_FORMAT_H_
