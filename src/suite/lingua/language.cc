#include "suite/lingua/language.h"

#include "platform/env.h"

namespace tarn::suite {
namespace {

// Folds case and treats '_' and '-' alike, so "zh_CN" and "ZH-cn" agree.
std::string Fold(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c == '_') c = '-';
  }
  return out;
}

}  // namespace

std::string LanguageFromSetting(std::string_view setting) {
  std::string s = Fold(setting);
  if (s == kSimplifiedChinese) return std::string(kSimplifiedChinese);
  if (s == kTraditionalChinese || s == "zh-hk" || s == "zh-mo") return std::string(kTraditionalChinese);
  return std::string(kEnglish);
}

std::string LanguageFromLocale(std::string_view locale) {
  std::string s = Fold(locale);
  if (s.starts_with("zh-cn")) return std::string(kSimplifiedChinese);
  if (s.starts_with("zh-tw") || s.starts_with("zh-hk") || s.starts_with("zh-mo")) {
    return std::string(kTraditionalChinese);
  }
  return std::string(kEnglish);
}

std::string CurrentLanguage() {
  Env& env = Env::Current();
  // An empty variable counts as unset, as the C library treats the locale
  // variables.
  if (auto setting = env.GetEnvVar("TARN_LANG"); setting && !setting->empty()) {
    return LanguageFromSetting(*setting);
  }
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    if (auto locale = env.GetEnvVar(name); locale && !locale->empty()) return LanguageFromLocale(*locale);
  }
  return std::string(kEnglish);
}

}  // namespace tarn::suite
