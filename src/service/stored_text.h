// Passwords the suite keeps encoded in its system database: the encoder's
// output followed by ETX (character 3). Anything else is plain text.
#ifndef TARN_SERVICE_STORED_TEXT_H_
#define TARN_SERVICE_STORED_TEXT_H_

#include <string>

namespace tarn::service {

inline constexpr char kStoredTextMark = '\x03';

// The plain form of `text`. An encoded text is trimmed of blanks and
// decoded through the RPC library's CommDecode; `text` is left as it was
// handed to the library (mark removed, trimmed, NUL appended). A missing
// library is raised to the caller.
std::string DecodeStoredText(std::string& text);

}  // namespace tarn::service

#endif  // TARN_SERVICE_STORED_TEXT_H_
