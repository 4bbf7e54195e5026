#include <gtest/gtest.h>

#include <map>
#include <set>

#include "platform/env.h"
#include "platform/object_registry.h"
#include "boundary/suite.h"
#include "suite/lingua/catalog.h"
#include "suite/lingua/format.h"
#include "suite/lingua/language.h"
#include "suite/lingua/lingua_package.h"
#include "suite/lingua/services.h"

namespace tarn::suite {
namespace {

// Only the environment variables matter here.
class VarsEnv final : public Env {
 public:
  explicit VarsEnv(std::map<std::string, std::string> vars) : vars_(std::move(vars)) {}

  std::string ComputerName() override { return "PC01"; }
  std::optional<uint32_t> SessionId() override { return 1; }
  uint32_t ProcessId() override { return 1; }
  uint32_t ThreadId() override { return 1; }
  uintptr_t ProcessHandle() override { return 1; }
  bool Is64Bit() override { return true; }
  Date Now() override { return Date{}; }
  int64_t MonotonicMillis() override { return 0; }
  double Random() override { return 0; }
  void Reseed() override {}
  Status StartProgram(const std::string&, const std::vector<std::string>&) override { return Status::OK(); }
  std::shared_ptr<const RegistryStore> Registry() override {
    return {std::shared_ptr<void>(), &registry_};  // not owned: the test changes it in place
  }
  std::optional<std::string> GetEnvVar(const std::string& name) override {
    auto it = vars_.find(name);
    if (it == vars_.end()) return std::nullopt;
    return it->second;
  }

 private:
  std::map<std::string, std::string> vars_;
  RegistryStore registry_;
};

// Every id the component and the login service look up, with the number of
// arguments its callers pass.
const std::map<std::string, int>& ExpectedArgumentCounts() {
  static const std::map<std::string, int> counts = {
      {"Tarn.AA.TarnLogin.ErrorConnectApp", 0},
      {"Tarn.AA.TarnLogin.ErrorWriteTask", 0},
      {"Tarn.AA.TarnLogin.ExceptTaskExec", 0},
      {"Tarn.AA.TarnLogin.ExceptionAuthID", 1},
      {"Tarn.AA.TarnLogin.ExceptionReleaseTask", 0},
      {"Tarn.AA.TarnLogin.FailCallLogin", 1},
      {"Tarn.AA.TarnLogin.FailReleaseTask", 0},
      {"Tarn.AA.TarnLogin.InvalidateSubID", 0},
      {"Tarn.AA.TarnLogin.InvalidateToken", 0},
      {"Tarn.AA.TarnLogin.NotCompleteLogin", 0},
      {"Tarn.AA.TarnLogin.NotCompleteLogin2", 0},
      {"Tarn.AA.TarnLogin.NotExistAuthID", 1},
      {"Tarn.AA.TarnLogin.NotHoldAuth", 0},
      {"Tarn.AA.TarnLogin.TaskRepellent", 1},
      {"Tarn.AA.TarnLogin.TaskRepellent2", 5},
      {"Tarn.AA.TarnLogin.TaskRepellent2Year", 5},
      {"Tarn.AA.TarnLogin.TaskRepellent3", 6},
      {"Tarn.AA.TarnLogin.TaskRepellent5", 5},
      {"Tarn.AA.TarnLogin.UnknownLoginError", 0},
      {"Tarn.AA.TarnLogin1.FailCallLogin2", 1},
      {"Tarn.AA.TarnLogin1.TaskRepellent4", 6},
      {"Tarn.AA.TarnLogin1.TaskRepellent6", 5},
      {"Tarn.AA.LoginService.UnknownUser", 1},
      {"Tarn.AA.LoginService.UserDisabled", 1},
      {"Tarn.AA.LoginService.BadPassword", 0},
      {"Tarn.AA.LoginService.UnknownAccount", 1},
      {"Tarn.AA.LoginService.UnknownYear", 2},
      {"Tarn.AA.LoginService.NoLivePeriod", 1},
      {"Tarn.AA.LoginService.NoRight", 3},
      {"Tarn.AA.LoginService.BadToken", 0},
      {"Tarn.AA.LoginService.TokenExpired", 0},
      {"Tarn.AA.LoginService.UnknownSubsystem", 1},
      {"Tarn.AA.LoginService.BadDate", 1},
      {"Tarn.AA.LoginService.ServiceRefused", 1},
      {"Tarn.AA.LoginService.ServiceUnreachable", 2},
      {"Tarn.AA.LoginService.ServiceFailed", 2},
      {"Tarn.AA.LoginService.SignOnNotRecorded", 1},
      {"Tarn.AA.LoginService.TokenRevoked", 1},
  };
  return counts;
}

// The numbers of the {n} places of a catalog text, repeats included.
std::multiset<int> Places(std::string_view text) {
  std::multiset<int> places;
  for (size_t open = text.find('{'); open != std::string_view::npos; open = text.find('{', open + 1)) {
    size_t close = text.find_first_not_of("0123456789", open + 1);
    if (close != std::string_view::npos && close > open + 1 && text[close] == '}') {
      places.insert(std::stoi(std::string(text.substr(open + 1, close - open - 1))));
    }
  }
  return places;
}

bool HasNonAscii(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

TEST(LinguaTest, CatalogHasEveryIdWithItsPlaces) {
  EXPECT_EQ(DefaultCatalog().size(), ExpectedArgumentCounts().size()) << "an id without an expected count";

  for (const auto& [id, count] : ExpectedArgumentCounts()) {
    std::set<int> wanted;
    for (int n = 1; n <= count; ++n) wanted.insert(n);
    for (std::string_view language : {kEnglish, kSimplifiedChinese, kTraditionalChinese}) {
      SCOPED_TRACE(id + " in " + std::string(language));
      std::string text(CatalogText(id, language));
      ASSERT_FALSE(text.empty());
      EXPECT_EQ(HasNonAscii(text), language != kEnglish);
      std::multiset<int> places = Places(text);
      // Each argument exactly once, and no place the caller never fills.
      EXPECT_EQ(std::set<int>(places.begin(), places.end()), wanted);
      EXPECT_EQ(places.size(), wanted.size());
    }
    EXPECT_NE(CatalogText(id, kSimplifiedChinese), CatalogText(id, kTraditionalChinese)) << id;
  }

  // Appended to by the error's description, so it must end as a lead-in.
  EXPECT_TRUE(CatalogText("Tarn.AA.TarnLogin.UnknownLoginError", kEnglish).ends_with(": "));
  // Lookups are exact.
  EXPECT_EQ(CatalogText("tarn.aa.tarnlogin.nothold auth", kEnglish), "");
  EXPECT_EQ(CatalogText("Tarn.AA.TarnLogin.notholdauth", kEnglish), "");
  EXPECT_EQ(CatalogText("Tarn.AA.TarnLogin.TaskRepellent4", kEnglish), "");  // lives under TarnLogin1
}

TEST(LinguaTest, LanguageComesFromSettingThenLocale) {
  struct Case {
    std::map<std::string, std::string> vars;
    std::string_view expected;
  };
  const Case cases[] = {
      {{}, kEnglish},
      {{{"TARN_LANG", "zh-cn"}}, kSimplifiedChinese},
      {{{"TARN_LANG", "ZH-CN"}, {"LANG", "zh_TW.UTF-8"}}, kSimplifiedChinese},  // the setting wins
      {{{"TARN_LANG", "Zh-Tw"}}, kTraditionalChinese},
      {{{"TARN_LANG", "zh-hk"}}, kTraditionalChinese},
      {{{"TARN_LANG", "zh-MO"}}, kTraditionalChinese},
      {{{"TARN_LANG", "en-US"}, {"LC_ALL", "zh_CN.UTF-8"}}, kEnglish},
      {{{"TARN_LANG", "fr-fr"}}, kEnglish},
      {{{"TARN_LANG", "zh"}}, kEnglish},
      {{{"TARN_LANG", ""}, {"LANG", "zh_CN.GB18030"}}, kSimplifiedChinese},  // empty counts as unset
      {{{"LC_ALL", "zh_TW.Big5"}, {"LANG", "zh_CN.UTF-8"}}, kTraditionalChinese},
      {{{"LC_ALL", ""}, {"LC_MESSAGES", "zh_CN.UTF-8"}, {"LANG", "en_US.UTF-8"}}, kSimplifiedChinese},
      {{{"LC_MESSAGES", "C"}, {"LANG", "zh_CN.UTF-8"}}, kEnglish},
      {{{"LANG", "zh_HK.UTF-8"}}, kTraditionalChinese},
      {{{"LANG", "de_DE.UTF-8"}}, kEnglish},
      {{{"LANG", "POSIX"}}, kEnglish},
  };
  for (const Case& c : cases) {
    std::string trace;
    for (const auto& [k, v] : c.vars) trace += k + "=" + v + " ";
    SCOPED_TRACE(trace);
    VarsEnv env(c.vars);
    ScopedEnv scoped(&env);
    EXPECT_EQ(CurrentLanguage(), c.expected);
    EXPECT_EQ(CatalogServiceFactory().GetLocalService()->GetLocalID(), c.expected);
  }
}

TEST(LinguaTest, ServicesSpeakTheLanguageOfTheirCreation) {
  ObjectRegistry registry;
  RegisterDefaultLingua(registry);
  const std::string id = "Tarn.AA.TarnLogin.NotHoldAuth";

  VarsEnv chinese(std::map<std::string, std::string>{{"TARN_LANG", "zh-cn"}});
  VarsEnv english(std::map<std::string, std::string>{{"TARN_LANG", "en-us"}});
  std::shared_ptr<ResourceService> zh_service;
  std::shared_ptr<ResourceFormatter> zh_formatter;
  {
    ScopedEnv scoped(&chinese);
    auto factory = registry.CreateAs<ResourceServiceFactory>(boundary::kResourceFactoryProgId);
    zh_service = factory->GetResourceService();
    zh_formatter = registry.CreateAs<ResourceFormatter>(boundary::kResourceFormatterProgId);
    EXPECT_EQ(factory->GetLocalService()->GetLocalID(), "zh-cn");
  }
  ScopedEnv scoped(&english);
  auto en_service = registry.CreateAs<ResourceServiceFactory>(boundary::kResourceFactoryProgId)->GetResourceService();

  EXPECT_EQ(zh_service->GetString(id), CatalogText(id, kSimplifiedChinese));
  EXPECT_EQ(en_service->GetString(id), CatalogText(id, kEnglish));
  EXPECT_EQ(zh_formatter->GetString("Tarn.AA.TarnLogin.NotExistAuthID", ArgsFrom({"GL0101"})),
            "系统中不存在功能 GL0101。请检查功能代码，或联系系统管理员进行注册。");
  EXPECT_EQ(en_service->GetString("Tarn.AA.TarnLogin.NoSuchText"), "");
  EXPECT_EQ(zh_formatter->GetString("Tarn.AA.TarnLogin.NoSuchText", ArgsFrom({"x"})), "");

  auto layout = registry.CreateAs<LayoutService>(boundary::kLayoutServiceProgId);
  layout->SetXAMLFileRootPath("");
  EXPECT_EQ(std::dynamic_pointer_cast<PathLayoutService>(layout)->root_path(), "");
  layout->SetXAMLFileRootPath("/opt/tarn/forms");
  EXPECT_EQ(std::dynamic_pointer_cast<PathLayoutService>(layout)->root_path(), "/opt/tarn/forms");

  // A host's own package registered first is kept.
  ObjectRegistry hosted;
  hosted.Register(boundary::kLayoutServiceProgId, [] { return std::make_shared<PathLayoutService>(); });
  auto host_factory = hosted.Find(boundary::kLayoutServiceProgId);
  RegisterDefaultLingua(hosted);
  EXPECT_TRUE(hosted.IsRegistered(boundary::kResourceFactoryProgId));
  EXPECT_EQ(hosted.Find(boundary::kLayoutServiceProgId).target_type(), host_factory.target_type());
}

TEST(LinguaTest, FormatterFillsPlacesByPosition) {
  VarsEnv english(std::map<std::string, std::string>{{"TARN_LANG", "en-us"}});
  ScopedEnv scoped(&english);
  CatalogResourceFormatter formatter;
  const std::string expected =
      "Function [GL0102] Voucher review cannot run at the same time as [GL0101] Voucher entry, which workstation "
      "PC02 is running. Try again when it has finished.";
  std::vector<Variant> args = {"PC02", "GL0101", "Voucher entry", "GL0102", "Voucher review"};
  EXPECT_EQ(formatter.GetString("Tarn.AA.TarnLogin.TaskRepellent5", ArgsFrom(args, 1)), expected);
  EXPECT_EQ(formatter.GetString("Tarn.AA.TarnLogin.TaskRepellent5", ArgsFrom(args, 0)), expected);
  EXPECT_EQ(formatter.GetString("Tarn.AA.TarnLogin.FailCallLogin", ArgsFrom({Variant(Null{})})),
            "The management service on  did not confirm this workstation's sign-on. Check that the service is "
            "running and can be reached, then sign on again.");

  Array mixed = ArgsFrom({Variant(int16_t{42}), Variant(true), Variant(), Variant(ObjectPtr())}, 7);
  EXPECT_EQ(FormatPlaces("{1}|{2}|{3}|{4}|{5}|{0}", mixed), "42|True||||");
  Array none;
  EXPECT_EQ(FormatPlaces("a{1}b", none), "ab");
  EXPECT_EQ(FormatPlaces("{{1}} {{{1}}} }}{{", ArgsFrom({"x"})), "{1} {x} }{");
  EXPECT_EQ(FormatPlaces("{x} {1 } { } {12345678901} {", ArgsFrom({"x"})), "{x} {1 } { } {12345678901} {");
  EXPECT_EQ(FormatPlaces("{2}{1}{2}", ArgsFrom({"a", "b"})), "bab");
}

}  // namespace
}  // namespace tarn::suite
