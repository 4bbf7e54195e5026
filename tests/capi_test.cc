// The C interface in-process: every entry point answers a bad handle, a
// bad argument or an unknown member with an error number and a text; in/out
// arguments, objects and arrays come back with their ownership; the server
// entry points edit exactly their own keys of the registry file.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/registry.h"
#include "support/demo_database.h"
#include "support/fake_env.h"
#include "tarn/tarn.h"

namespace tarn {
namespace {

class CapiTest : public ::testing::Test {
 protected:
  // A copy: a sign-on writes its login task, which the shared database
  // would hand on to every later test of the program.
  void SetUp() override { testing::UseDemoDatabase(env_, db_); }

  // Strings as the C caller makes them.
  static tarn_variant Text(const char* s) {
    tarn_variant v;
    tarn_variant_init(&v);
    tarn_variant_set_string(&v, s);
    return v;
  }

  testing::DemoDatabase db_ = testing::CopyOfDemoDatabase();
  testing::FakeEnv env_;
  testing::FakeEnvScope scope_{env_};
};

TEST_F(CapiTest, BadHandlesArgumentsAndMembersAreAnsweredNotCrashed) {
  tarn_variant v;
  tarn_variant_init(&v);
  EXPECT_EQ(tarn_invoke(nullptr, "ShutDown", nullptr, 0, nullptr), 91);
  EXPECT_NE(std::string(tarn_error_description()).find("handle"), std::string::npos);
  EXPECT_EQ(tarn_get(nullptr, "cUserId", &v), 91);
  EXPECT_EQ(tarn_set(nullptr, "cServer", &v), 91);
  EXPECT_EQ(tarn_release(nullptr), 91);
  EXPECT_EQ(tarn_type_name(nullptr), nullptr);
  // A pointer that never was a handle is not read.
  int not_a_handle = 0;
  EXPECT_EQ(tarn_invoke(reinterpret_cast<tarn_object*>(&not_a_handle), "ShutDown", nullptr, 0, nullptr), 91);

  tarn_object* login = nullptr;
  EXPECT_EQ(tarn_create(nullptr, &login), 5);
  EXPECT_EQ(tarn_create("TarnLogin.clsLogin", nullptr), 5);
  EXPECT_EQ(tarn_create("No.Such.Class", &login), 429);
  EXPECT_EQ(login, nullptr);
  ASSERT_EQ(tarn_create("tarnlogin.CLSLOGIN", &login), 0);  // ProgIDs in any case
  EXPECT_STREQ(tarn_type_name(login), "_clsLogin");

  EXPECT_EQ(tarn_invoke(login, "NoSuchMember", nullptr, 0, nullptr), 438);
  EXPECT_EQ(tarn_error_number(), 438);
  EXPECT_EQ(tarn_invoke(login, nullptr, nullptr, 0, nullptr), 5);
  EXPECT_EQ(tarn_invoke(login, "ShutDown", nullptr, 2, nullptr), 5);  // a count without its array
  EXPECT_EQ(tarn_invoke(login, "ShutDown", nullptr, -1, nullptr), 5);
  tarn_variant many[9];
  for (tarn_variant& a : many) a = Text("x");
  EXPECT_EQ(tarn_invoke(login, "Login", many, 9, nullptr), 450);
  for (tarn_variant& a : many) tarn_variant_clear(&a);
  EXPECT_EQ(tarn_get(login, "cUserId", nullptr), 5);
  EXPECT_EQ(tarn_set(login, "cServer", nullptr), 5);
  EXPECT_EQ(tarn_get(login, "TaskExec", &v), 450);  // a method read as a property: its arguments are missing

  // Another thread is refused with the object left whole: its heartbeat
  // and its errors belong to the thread that created it.
  std::thread([&] {
    tarn_variant there;
    tarn_variant_init(&there);
    EXPECT_EQ(tarn_get(login, "cUserId", &there), TARN_WRONG_THREAD);
    EXPECT_NE(std::string(tarn_error_description()).find("different thread"), std::string::npos);
    EXPECT_EQ(tarn_invoke(login, "ShutDown", nullptr, 0, nullptr), TARN_WRONG_THREAD);
    EXPECT_EQ(tarn_variant_set_object(&there, login), TARN_WRONG_THREAD);
    EXPECT_EQ(tarn_release(login), TARN_WRONG_THREAD);
  }).join();
  EXPECT_EQ(tarn_get(login, "cUserId", &v), 0);
  EXPECT_EQ(tarn_variant_set_array(&v, -1, 0), 5);
  EXPECT_EQ(v.type, TARN_STRING);  // a refused array leaves the variant as it was
  tarn_variant_clear(&v);

  // Values that do not convert, and variants that are no variants.
  tarn_variant task[2] = {Text("GL0101"), Text("not a number")};
  EXPECT_EQ(tarn_invoke(login, "TaskExec", task, 2, &v), 13);
  tarn_variant_clear(&task[1]);
  task[1].type = static_cast<tarn_type>(4242);
  EXPECT_EQ(tarn_invoke(login, "TaskExec", task, 2, &v), 13);
  task[1].type = TARN_ARRAY;
  task[1].value.array = tarn_array{nullptr, 3, 1};
  EXPECT_EQ(tarn_invoke(login, "TaskExec", task, 2, &v), 5);
  task[1].type = TARN_OBJECT;
  task[1].value.object = reinterpret_cast<tarn_object*>(&not_a_handle);
  EXPECT_EQ(tarn_invoke(login, "TaskExec", task, 2, &v), 91);
  tarn_variant_init(&task[1]);
  tarn_variant_clear(&task[0]);

  // Released: every later use is an answer, twice over.
  ASSERT_EQ(tarn_release(login), 0);
  EXPECT_EQ(tarn_release(login), 91);
  EXPECT_EQ(tarn_get(login, "cUserId", &v), 91);
  EXPECT_EQ(tarn_variant_set_object(&v, login), 91);

  tarn_factory* factory = nullptr;
  EXPECT_EQ(DllGetClassObject("{00000000-0000-0000-0000-000000000000}", &factory), 429);
  EXPECT_EQ(tarn_factory_create(nullptr, &login), 91);
  EXPECT_EQ(tarn_factory_release(nullptr), 91);
  EXPECT_EQ(DllCanUnloadNow(), 0);
}

TEST_F(CapiTest, InOutArgumentsObjectsAndArraysComeBackOwned) {
  tarn_factory* factory = nullptr;
  ASSERT_EQ(DllGetClassObject("TarnLogin.clsLogin", &factory), 0);
  tarn_object* login = nullptr;
  ASSERT_EQ(tarn_factory_create(factory, &login), 0);
  EXPECT_EQ(DllCanUnloadNow(), 1);  // a factory and an object are alive
  ASSERT_EQ(tarn_factory_release(factory), 0);

  tarn_variant args[6] = {Text("GL"), Text("001"), Text("2024"), Text("ALICE"), Text("alice"), Text("2024-03-15")};
  tarn_variant result;
  tarn_variant_init(&result);
  ASSERT_EQ(tarn_invoke(login, "Login", args, 6, &result), 0) << tarn_error_description();
  ASSERT_EQ(result.type, TARN_BOOL);
  EXPECT_EQ(result.value.boolean, 1);
  EXPECT_STREQ(args[0].value.string, "GL");  // in/out, unchanged: still the caller's

  // GetPeriod(dCurDate, iYear, iPeriod): the last two come back.
  tarn_variant period[3];
  for (tarn_variant& a : period) tarn_variant_init(&a);
  tarn_variant_set_string(&period[0], "2024-05-20");
  ASSERT_EQ(tarn_invoke(login, "GetPeriod", period, 3, &result), 0) << tarn_error_description();
  EXPECT_EQ(period[1].type, TARN_I2);
  EXPECT_EQ(period[1].value.i2, 2024);
  EXPECT_EQ(period[2].value.i2, 5);

  // A refused function: its record is an object, its arguments an array.
  tarn_variant auth[2] = {Text("AP0101"), Text("")};
  tarn_variant_set_i2(&auth[1], -1);
  ASSERT_EQ(tarn_invoke(login, "TaskExec", auth, 2, &result), 0);
  EXPECT_EQ(result.value.boolean, 0);
  ASSERT_EQ(tarn_invoke(login, "GetLastErrorResID", nullptr, 0, &result), 0);
  ASSERT_EQ(result.type, TARN_OBJECT);
  tarn_object* record = result.value.object;
  EXPECT_STREQ(tarn_type_name(record), "clsErrorRes");
  tarn_variant field;
  tarn_variant_init(&field);
  ASSERT_EQ(tarn_get(record, "ResId", &field), 0);
  EXPECT_EQ(field.type, TARN_STRING);
  EXPECT_NE(std::string(field.value.string), "");

  // Arrays both ways: the record's arguments built in C and read back.
  tarn_variant list;
  tarn_variant_init(&list);
  ASSERT_EQ(tarn_variant_set_array(&list, 2, 1), 0);
  ASSERT_EQ(tarn_variant_set_string(&list.value.array.items[0], "PC01"), 0);
  ASSERT_EQ(tarn_variant_set_string(&list.value.array.items[1], "GL0201"), 0);
  ASSERT_EQ(tarn_set(record, "ResArg", &list), 0) << tarn_error_description();
  ASSERT_EQ(tarn_get(record, "ResArg", &field), 0);  // replaces the string, freeing it
  ASSERT_EQ(field.type, TARN_ARRAY);
  EXPECT_EQ(field.value.array.lower_bound, 1);
  ASSERT_EQ(field.value.array.count, 2);
  EXPECT_STREQ(field.value.array.items[1].value.string, "GL0201");
  EXPECT_NE(field.value.array.items, list.value.array.items);  // the library's own copy
  tarn_variant_clear(&list);
  // A copy in a variant is a reference of its own.
  tarn_variant copy;
  tarn_variant_init(&copy);
  ASSERT_EQ(tarn_variant_set_object(&copy, record), 0);
  tarn_variant_clear(&result);  // releases the first handle
  EXPECT_EQ(tarn_get(copy.value.object, "ResId", &field), 0);
  tarn_variant_clear(&copy);
  tarn_variant_clear(&field);

  ASSERT_EQ(tarn_invoke(login, "ShutDown", nullptr, 0, nullptr), 0);
  ASSERT_EQ(tarn_release(login), 0);
  for (tarn_variant& a : args) tarn_variant_clear(&a);
  for (tarn_variant& a : period) tarn_variant_clear(&a);
  for (tarn_variant& a : auth) tarn_variant_clear(&a);
  EXPECT_EQ(DllCanUnloadNow(), 0);
}

TEST(CapiRegistrationTest, TheServerEntryPointsEditOnlyTheirOwnKeys) {
  char tmpl[] = "/tmp/tarn-regsvr.XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string path = std::string(tmpl) + "/registry.reg";
  const std::string before =
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_CLASSES_ROOT\\Other.Class\\CLSID]\n@=\"{OTHER}\"\n\n"
      "[HKEY_CLASSES_ROOT\\TarnLogin.clsErrorRes\\CLSID]\n@=\"{A-STALE-ONE}\"\n\n"
      "[HKEY_LOCAL_MACHINE\\Software\\ValeSoft\\WF\\Tarn]\n\"SystemDatabase\"=\"x\"\n";
  std::ofstream(path) << before;
  chmod(path.c_str(), 0600);
  setenv("TARN_REGISTRY", path.c_str(), 1);

  ASSERT_EQ(DllRegisterServer(), 0);
  RegistryStore store = RegistryStore::LoadFile(path);
  EXPECT_TRUE(store.warnings().empty());
  EXPECT_EQ(store.GetString("HKEY_CLASSES_ROOT\\TarnLogin.clsLogin\\CLSID", ""),
            "{6F1C2A40-8B1E-4D2A-9C3E-5A0B7D11C610}");
  EXPECT_EQ(store.GetString("HKEY_CLASSES_ROOT\\TarnLogin.clsErrorRes\\CLSID", ""),
            "{6F1C2A41-8B1E-4D2A-9C3E-5A0B7D11C610}");  // taken over
  const std::optional<std::string> server =
      store.GetString("HKCR\\CLSID\\{6F1C2A40-8B1E-4D2A-9C3E-5A0B7D11C610}\\InprocServer32", "");
  ASSERT_TRUE(server);
  EXPECT_TRUE(std::filesystem::exists(*server)) << *server;
  EXPECT_EQ(store.GetString("HKEY_CLASSES_ROOT\\Other.Class\\CLSID", ""), "{OTHER}");
  EXPECT_EQ(store.GetString("Software\\ValeSoft\\WF\\Tarn", "SystemDatabase"), "x");
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // Twice is once.
  ASSERT_EQ(DllRegisterServer(), 0);
  std::ifstream again(path);
  const std::string twice((std::istreambuf_iterator<char>(again)), std::istreambuf_iterator<char>());
  EXPECT_EQ(twice.find("TarnLogin.clsLogin]"), twice.rfind("TarnLogin.clsLogin]"));
  // The settings key is still the last: appended values land in it.
  EXPECT_EQ(twice.rfind('['), twice.find("[HKEY_LOCAL_MACHINE\\Software\\ValeSoft\\WF\\Tarn]"));

  ASSERT_EQ(DllUnregisterServer(), 0);
  store = RegistryStore::LoadFile(path);
  EXPECT_FALSE(store.GetString("HKEY_CLASSES_ROOT\\TarnLogin.clsLogin\\CLSID", ""));
  EXPECT_FALSE(store.HasKey("HKEY_CLASSES_ROOT\\CLSID\\{6F1C2A40-8B1E-4D2A-9C3E-5A0B7D11C610}\\InprocServer32"));
  EXPECT_EQ(store.GetString("HKEY_CLASSES_ROOT\\Other.Class\\CLSID", ""), "{OTHER}");
  EXPECT_EQ(store.GetString("Software\\ValeSoft\\WF\\Tarn", "SystemDatabase"), "x");
  unsetenv("TARN_REGISTRY");
  std::filesystem::remove_all(tmpl);
}

}  // namespace
}  // namespace tarn
