#include "suite/lingua/format.h"

#include "tarn/com_error.h"

namespace tarn::suite {
namespace {

std::string ArgumentText(const Array& args, size_t number) {
  if (number < 1 || number > args.items.size()) return std::string();
  try {
    return args.items[number - 1].ToStringOrEmpty();
  } catch (const ComError&) {
    return std::string();  // an object or array: a message never fails for it
  }
}

}  // namespace

std::string FormatPlaces(std::string_view text, const Array& args) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if ((c == '{' || c == '}') && i + 1 < text.size() && text[i + 1] == c) {
      out.push_back(c);
      i += 2;
      continue;
    }
    if (c == '{') {
      size_t j = i + 1;
      size_t number = 0;
      // Nine digits cannot overflow and are more places than any text has.
      while (j < text.size() && j - i <= 9 && text[j] >= '0' && text[j] <= '9') {
        number = number * 10 + static_cast<size_t>(text[j] - '0');
        ++j;
      }
      if (j > i + 1 && j < text.size() && text[j] == '}') {
        out += ArgumentText(args, number);
        i = j + 1;
        continue;
      }
    }
    out.push_back(c);
    ++i;
  }
  return out;
}

}  // namespace tarn::suite
