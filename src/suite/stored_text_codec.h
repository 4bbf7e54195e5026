// The codec of texts the suite keeps encoded in its system database (the
// password of a bound file-server account, say): CommEncode writes the
// stored form, CommDecode reads it back.
//
// This is obfuscation, not encryption: the key is fixed and lives in this
// file, so anyone with the library reads every stored text. It only keeps
// passwords from being legible at a glance in a table dump. Protect the
// system database itself.
#ifndef TARN_SUITE_STORED_TEXT_CODEC_H_
#define TARN_SUITE_STORED_TEXT_CODEC_H_

#include <string>
#include <string_view>

namespace tarn::suite {

// Upper-case hexadecimal digits: never blanks, NULs or the ETX that marks
// a stored form in the database.
std::string CommEncodeText(std::string_view plain);
// Reads `stored` up to its first NUL; "" when that is not a stored form.
std::string CommDecodeText(std::string_view stored);

}  // namespace tarn::suite

#endif  // TARN_SUITE_STORED_TEXT_CODEC_H_
