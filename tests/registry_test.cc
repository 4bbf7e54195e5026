#include "platform/registry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>

#include "platform/env.h"

namespace tarn {
namespace {

constexpr char kGuidKey[] = "Software\\Wow6432Node\\ValeSoft\\WF\\V8.610\\GUID\\";

// An export as the registry editor writes it, CRLF line ends and all.
std::string RealisticExport() {
  std::string text =
      "Windows Registry Editor Version 5.00\n"
      "\n"
      "; station settings\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\ValeSoft\\WF\\V8.610\\GUID]\n"
      "@=\"{6F1C2A44-0B1D-4C55-9E2A-11AA22BB33CC}\"\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\ValeSoft\\WF\\V8.610\\Install\\CurrentInstPath]\n"
      "@=\"C:\\\\Program Files\\\\Vale\\\\\"\n"
      "\"Label\"=\"say \\\"hi\\\"\"  ; trailing comment\n"
      "\"Count\"=dword:0000001a\n"
      "\"Blob\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\n"
      "  17,18,19,1a,1b,1c,1d,1e,1f,20,\\\n"
      "  21,22\n"
      "\"Path\"=hex(2):25,00,50,00,00,00\n"
      "\"After\"=\"still read\"\n"
      "\n"
      "[HKEY_CURRENT_USER\\Software\\ValeSoft]\n"
      "\"Server\"=\"not-machine\"\n"
      "\n"
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\ValeSoft\\WF\\V8.610\\Login\\]\n"
      "\"Server\"=\"APPSRV\"\n"
      "\"Empty\"=\"\"\n";
  std::string crlf;
  for (char c : text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  return crlf;
}

std::string Utf16Le(const std::u16string& s, bool bom) {
  std::string out = bom ? "\xFF\xFE" : "";
  for (char16_t c : s) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

TEST(RegistryTest, ReadsRealisticExport) {
  RegistryStore reg = RegistryStore::Parse(RealisticExport());

  EXPECT_EQ(reg.GetString(kGuidKey, ""), "{6F1C2A44-0B1D-4C55-9E2A-11AA22BB33CC}");
  // Names fold case; the key may carry the hive and a trailing backslash or not.
  EXPECT_EQ(reg.GetString("software\\wow6432node\\valesoft\\wf\\v8.610\\guid", ""),
            "{6F1C2A44-0B1D-4C55-9E2A-11AA22BB33CC}");
  EXPECT_EQ(reg.GetString("HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\ValeSoft\\WF\\V8.610\\Login", "SERVER"),
            "APPSRV");
  EXPECT_EQ(reg.GetString("Software\\Wow6432Node\\ValeSoft\\WF\\V8.610\\Login\\", "Empty"), "");

  const char* install = "Software\\Wow6432Node\\ValeSoft\\WF\\V8.610\\Install\\CurrentInstPath\\";
  EXPECT_EQ(reg.GetString(install, ""), "C:\\Program Files\\Vale\\");
  EXPECT_EQ(reg.GetString(install, "label"), "say \"hi\"");
  EXPECT_EQ(reg.GetString(install, "After"), "still read");
  // Present but not strings.
  EXPECT_EQ(reg.GetString(install, "Count"), std::nullopt);
  EXPECT_EQ(reg.GetString(install, "Blob"), std::nullopt);
  EXPECT_EQ(reg.GetString(install, "Path"), std::nullopt);
  EXPECT_EQ(reg.GetString(install, "Missing"), std::nullopt);

  // Other hives and deleted keys contribute nothing.
  EXPECT_EQ(reg.GetString("Software\\ValeSoft", "Server"), std::nullopt);
  EXPECT_FALSE(reg.HasKey("Software\\Old"));

  ASSERT_EQ(reg.warnings().size(), 1u);
  EXPECT_EQ(reg.warnings()[0].line, 17);
  EXPECT_NE(reg.warnings()[0].message.find("HKEY_CURRENT_USER"), std::string::npos);
}

TEST(RegistryTest, DecodesUnicodeExports) {
  std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_LOCAL_MACHINE\\Software\\ValeSoft\\WF\\V8.610\\Install\\CurrentInstPath]\r\n"
      u"@=\"D:\\\\财务软件\\\\\"\r\n"
      u"\"Clef\"=\"\U0001D11E\"\r\n";
  const char* key = "Software\\ValeSoft\\WF\\V8.610\\Install\\CurrentInstPath";
  const std::string expected = "D:\\\xE8\xB4\xA2\xE5\x8A\xA1\xE8\xBD\xAF\xE4\xBB\xB6\\";

  for (bool bom : {true, false}) {
    SCOPED_TRACE(bom ? "UTF-16LE with mark" : "UTF-16LE without mark");
    RegistryStore reg = RegistryStore::Parse(Utf16Le(text, bom));
    EXPECT_TRUE(reg.warnings().empty());
    EXPECT_EQ(reg.GetString(key, ""), expected);
    EXPECT_EQ(reg.GetString(key, "clef"), "\xF0\x9D\x84\x9E");  // surrogate pair
  }

  RegistryStore utf8 = RegistryStore::Parse(
      "\xEF\xBB\xBFREGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\ValeSoft\\WF\\V8.610\\Install\\CurrentInstPath]\n"
      "@=\"D:\\\\\xE8\xB4\xA2\xE5\x8A\xA1\xE8\xBD\xAF\xE4\xBB\xB6\\\\\"\n");
  EXPECT_TRUE(utf8.warnings().empty());
  EXPECT_EQ(utf8.GetString(key, ""), expected);
}

TEST(RegistryTest, SkipsMalformedLinesAndSaysWhere) {
  RegistryStore reg = RegistryStore::Parse(
      "\"Orphan\"=\"x\"\n"                       // 1: no header, and outside any section
      "[HKEY_LOCAL_MACHINE\\Software\\T]\n"      // 2
      "\"Open=\"x\"\n"                           // 3: "Open=" then x" -> no '='
      "\"Name\"=\"unterminated\n"                // 4
      "\"NoEquals\" \"x\"\n"                     // 5
      "garbage here\n"                           // 6
      "\"Bad\"=dword:xyz\n"                      // 7
      "\"Bad2\"=hex:0g,01\n"                     // 8
      "\"Bad3\"=\"a\" b\n"                       // 9
      "\"Bad4\"=whatever\n"                      // 10
      "[HKEY_LOCAL_MACHINE\\Software\\Broken\n"  // 11
      "\"Lost\"=\"x\"\n"                         // 12: under the broken section: ignored
      "[HKEY_LOCAL_MACHINE\\Software\\T]\n"      // 13
      "\"Good\"=\"kept\"\n");                    // 14
  std::vector<int> lines;
  for (const auto& w : reg.warnings()) {
    lines.push_back(w.line);
    EXPECT_FALSE(w.message.empty());
  }
  EXPECT_EQ(lines, (std::vector<int>{1, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  EXPECT_NE(reg.warnings()[0].message.find("header"), std::string::npos);
  EXPECT_NE(reg.warnings()[1].message.find("outside"), std::string::npos);
  EXPECT_NE(reg.warnings()[3].message.find("unterminated"), std::string::npos);

  EXPECT_EQ(reg.GetString("Software\\T", "Good"), "kept");
  for (const char* name : {"Orphan", "Name", "NoEquals", "Bad", "Bad2", "Bad3", "Bad4"}) {
    EXPECT_EQ(reg.GetString("Software\\T", name), std::nullopt) << name;
  }
  EXPECT_EQ(reg.GetString("Software\\Broken", "Lost"), std::nullopt);
}

TEST(RegistryTest, LaterDefinitionsWinAndKeysNest) {
  RegistryStore reg = RegistryStore::Parse(
      "REGEDIT4\n"
      "[HKEY_LOCAL_MACHINE\\Software\\A\\B]\n"
      "\"v\"=\"first\"\n"
      "\"gone\"=\"x\"\n"
      "[hkey_local_machine\\software\\a\\b\\]\n"
      "\"V\"=\"second\"\n"
      "\"GONE\"=-\n"
      "\"Typed\"=\"text\"\n"
      "\"typed\"=dword:00000001\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Empty]\n");
  EXPECT_TRUE(reg.warnings().empty());
  EXPECT_EQ(reg.GetString("Software\\A\\B", "v"), "second");
  EXPECT_EQ(reg.GetString("Software\\A\\B", "gone"), std::nullopt);
  EXPECT_EQ(reg.GetString("Software\\A\\B", "typed"), std::nullopt);

  EXPECT_TRUE(reg.HasKey("Software\\A"));  // a parent exists through its child
  EXPECT_TRUE(reg.HasKey("SOFTWARE\\a\\b\\"));
  EXPECT_TRUE(reg.HasKey("Software\\Empty"));
  EXPECT_FALSE(reg.HasKey("Software\\A\\B\\C"));
  EXPECT_FALSE(reg.HasKey("Software\\Em"));  // a prefix of a name is not a parent

  reg.SetString("HKEY_LOCAL_MACHINE\\Software\\New\\", "Server", "S1");
  EXPECT_EQ(reg.GetString("software\\new", "server"), "S1");
  reg.SetString("Software\\New", "SERVER", "S2");
  EXPECT_EQ(reg.GetString("Software\\New", "Server"), "S2");
}

TEST(RegistryTest, LoadsFiles) {
  char dir_template[] = "/tmp/tarn_registry_XXXXXX";
  ASSERT_NE(mkdtemp(dir_template), nullptr);
  std::string dir = dir_template;

  RegistryStore missing = RegistryStore::LoadFile(dir + "/none.reg");
  EXPECT_TRUE(missing.warnings().empty());
  EXPECT_FALSE(missing.GetString(kGuidKey, "").has_value());

  RegistryStore unreadable = RegistryStore::LoadFile(dir);  // a directory
  ASSERT_EQ(unreadable.warnings().size(), 1u);
  EXPECT_NE(unreadable.warnings()[0].message.find(dir), std::string::npos);

  std::string path = dir + "/registry.reg";
  {
    std::ofstream out(path, std::ios::binary);
    out << Utf16Le(
        u"Windows Registry Editor Version 5.00\r\n\r\n"
        u"[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\ValeSoft\\WF\\V8.610\\GUID]\r\n"
        u"@=\"G-1\"\r\n",
        true);
  }
  RegistryStore loaded = RegistryStore::LoadFile(path);
  EXPECT_TRUE(loaded.warnings().empty());
  EXPECT_EQ(loaded.source(), path);
  EXPECT_EQ(loaded.GetString(kGuidKey, ""), "G-1");

  std::remove(path.c_str());
  rmdir(dir.c_str());
}

// The machine's registry is read again when its file changes, so that a
// value is read as it is now each time it is asked for.
TEST(RegistryTest, TheSystemRegistryFollowsItsFile) {
  char dir_template[] = "/tmp/tarn_registry_XXXXXX";
  ASSERT_NE(mkdtemp(dir_template), nullptr);
  const std::string path = std::string(dir_template) + "/registry.reg";
  auto write = [&](const std::string& guid) {
    std::ofstream(path, std::ios::trunc) << "Windows Registry Editor Version 5.00\n\n"
                                         << "[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\ValeSoft\\WF\\V8.610\\GUID]\n"
                                         << "@=\"" << guid << "\"\n";
  };
  const char* previous = std::getenv("TARN_REGISTRY");
  const std::string saved = previous ? previous : "";
  setenv("TARN_REGISTRY", path.c_str(), 1);
  std::unique_ptr<Env> env = NewSystemEnv();
  EXPECT_FALSE(env->Registry()->GetString(kGuidKey, "").has_value());  // no file yet
  write("G-1");
  EXPECT_EQ(env->Registry()->GetString(kGuidKey, ""), "G-1");
  std::shared_ptr<const RegistryStore> held = env->Registry();
  write("G-22");  // another size: a change even within the clock's granularity
  EXPECT_EQ(env->Registry()->GetString(kGuidKey, ""), "G-22");
  EXPECT_EQ(held->GetString(kGuidKey, ""), "G-1");  // a snapshot stays as it was
  std::remove(path.c_str());
  EXPECT_FALSE(env->Registry()->GetString(kGuidKey, "").has_value());
  if (previous)
    setenv("TARN_REGISTRY", saved.c_str(), 1);
  else
    unsetenv("TARN_REGISTRY");
  rmdir(dir_template);
}

// Whatever the bytes, parsing ends, throws nothing and keeps its report
// bounded.
TEST(RegistryTest, SurvivesArbitraryInput) {
  const std::string good = RealisticExport();
  const std::string wide =
      Utf16Le(u"Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\S]\r\n@=\"v\"\r\n", true);
  for (size_t n = 0; n <= good.size(); ++n) RegistryStore::Parse(good.substr(0, n));
  for (size_t n = 0; n <= wide.size(); ++n) RegistryStore::Parse(wide.substr(0, n));

  std::mt19937 rng(20240611);
  const std::string alphabet = "[]\"@=\\;-:,()hexdword0af \r\n\xFF\xFE";
  for (int round = 0; round < 2000; ++round) {
    std::string text = round % 2 ? good : std::string();
    size_t len = rng() % 300;
    for (size_t i = 0; i < len; ++i) {
      char c = round % 3 == 0 ? static_cast<char>(rng()) : alphabet[rng() % alphabet.size()];
      if (!text.empty() && rng() % 4 == 0) {
        text[rng() % text.size()] = c;  // mutate the good file
      } else {
        text.push_back(c);
      }
    }
    RegistryStore reg = RegistryStore::Parse(text);
    EXPECT_LE(reg.warnings().size(), 101u);
  }

  // A flood of broken lines gives a capped report; a huge continued value
  // is walked, not collected.
  std::string flood = "REGEDIT4\n";
  for (int i = 0; i < 100000; ++i) flood += "garbage\n";
  RegistryStore flooded = RegistryStore::Parse(flood);
  EXPECT_LE(flooded.warnings().size(), 101u);
  EXPECT_NE(flooded.warnings().back().message.find("too many"), std::string::npos);

  std::string big = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\S]\n\"Big\"=hex:00,\\\n";
  for (int i = 0; i < 100000; ++i) big += "  01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,\\\n";
  big += "  11\n\"After\"=\"ok\"\n";
  RegistryStore large = RegistryStore::Parse(big);
  EXPECT_TRUE(large.warnings().empty());
  EXPECT_EQ(large.GetString("S", "After"), "ok");
}

}  // namespace
}  // namespace tarn
