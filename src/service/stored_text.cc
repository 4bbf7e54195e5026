#include "service/stored_text.h"

#include "platform/text.h"
#include "service/libraries.h"

namespace tarn::service {

std::string DecodeStoredText(std::string& text) {
  if (text.empty() || text.back() != kStoredTextMark) return text;
  text.pop_back();
  text = std::string(TrimBlanks(text));
  text.push_back('\0');
  std::string plain = Parley()->CommDecode(text);
  return plain.substr(0, plain.find('\0'));
}

}  // namespace tarn::service
