#include "service/stored_text.h"

#include "service/libraries.h"

namespace tarn::service {

std::string DecodeStoredText(std::string& text) {
  if (text.empty() || text.back() != kStoredTextMark) return text;
  text.pop_back();
  const size_t b = text.find_first_not_of(' ');
  text = b == std::string::npos ? std::string() : text.substr(b, text.find_last_not_of(' ') - b + 1);
  text.push_back('\0');
  std::string plain = Parley()->CommDecode(text);
  return plain.substr(0, plain.find('\0'));
}

}  // namespace tarn::service
