// Which of the three catalog languages the process speaks.
#ifndef TARN_SUITE_LINGUA_LANGUAGE_H_
#define TARN_SUITE_LINGUA_LANGUAGE_H_

#include <string>
#include <string_view>

namespace tarn::suite {

inline constexpr std::string_view kEnglish = "en-us";
inline constexpr std::string_view kSimplifiedChinese = "zh-cn";
inline constexpr std::string_view kTraditionalChinese = "zh-tw";

// TARN_LANG when set, else the locale of the process (LC_ALL, LC_MESSAGES,
// LANG), else English. Always one of the three names above.
std::string CurrentLanguage();

// A TARN_LANG value: "en-us", "zh-cn", "zh-tw" in any case; Hong Kong and
// Macau read as Traditional Chinese; anything else as English.
std::string LanguageFromSetting(std::string_view setting);
// A POSIX locale name such as "zh_CN.UTF-8".
std::string LanguageFromLocale(std::string_view locale);

}  // namespace tarn::suite

#endif  // TARN_SUITE_LINGUA_LANGUAGE_H_
