// DllRegisterServer and DllUnregisterServer: the library's classes in the
// registry file, below HKEY_CLASSES_ROOT, as a registry export writes them.
// The file is edited section by section and replaced in one rename, so a
// reader never sees half of it; the other sections stay as they were.
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "capi/class_table.h"
#include "platform/env.h"
#include "platform/secret_file.h"
#include "platform/text.h"
#include "tarn/tarn.h"

namespace tarn::capi {
namespace {

constexpr int32_t kRegistryError = 75;  // path/file access error

struct Section {
  std::string name;  // between the brackets
  std::vector<std::string> lines;
};

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

// The file's lines before its first section, and its sections.
void Split(const std::string& text, std::vector<std::string>* head, std::vector<Section>* sections) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string_view t = TrimSpace(line);
    if (!t.empty() && t.front() == '[' && t.find(']') != std::string_view::npos) {
      sections->push_back(Section{std::string(t.substr(1, t.rfind(']') - 1)), {line}});
    } else if (sections->empty()) {
      head->push_back(line);
    } else {
      sections->back().lines.push_back(line);
    }
  }
}

bool IsKeyOrBelow(std::string_view name, std::string_view key) {
  return EqualsNoCase(name, key) ||
         (StartsWithNoCase(name, key) && name.size() > key.size() && name[key.size()] == '\\');
}

// Whether the section belongs to one of this library's registrations:
// its class ids, and its ProgIDs when `take_prog_ids` (registering takes
// them over) or when they name one of its class ids.
bool Ours(const Section& s, const std::vector<ClassEntry>& classes, const RegistryStore& registry, bool take_prog_ids) {
  for (const ClassEntry& c : classes) {
    if (IsKeyOrBelow(s.name, "HKEY_CLASSES_ROOT\\CLSID\\" + c.class_id)) return true;
    const std::string prog_key = "HKEY_CLASSES_ROOT\\" + c.prog_id;
    if (!IsKeyOrBelow(s.name, prog_key)) continue;
    if (take_prog_ids) return true;
    const std::optional<std::string> id = registry.GetString(prog_key + "\\CLSID", "");
    if (id && EqualsNoCase(*id, c.class_id)) return true;
  }
  return false;
}

// The library as it was loaded: by its SONAME when a host linked it, so
// that the registration outlives a minor upgrade. An absolute directory,
// its links resolved, and the name as loaded.
std::string LibraryPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info) == 0 || !info.dli_fname) return "";
  std::string loaded = info.dli_fname;
  const size_t slash = loaded.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : loaded.substr(0, slash));
  char* real = realpath(dir.c_str(), nullptr);
  if (!real) return loaded;
  std::string path = real;
  free(real);
  return path + "/" + loaded.substr(slash == std::string::npos ? 0 : slash + 1);
}

int Edit(bool add) {
  const std::string path = RegistryFilePath();
  std::string text;
  struct stat st {};
  const bool exists = stat(path.c_str(), &st) == 0;
  if (exists) {
    std::ifstream in(path, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) return kRegistryError;
    if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF &&
        static_cast<unsigned char>(text[1]) == 0xFE) {
      return kRegistryError;  // UTF-16: written by another tool; left alone
    }
  }
  const std::vector<ClassEntry> classes = ServedClasses();
  const RegistryStore registry = RegistryStore::Parse(text);
  std::vector<std::string> head;
  std::vector<Section> sections;
  Split(text, &head, &sections);
  if (head.empty() || TrimSpace(head.front()).empty())
    head.insert(head.begin(), "Windows Registry Editor Version 5.00");

  // Ours go first, after the header: the file's last key stays last, so a
  // value appended to the file still lands where it did.
  std::string out;
  for (const std::string& line : head) out += line + "\n";
  if (!out.empty() && out.size() >= 2 && out.substr(out.size() - 2) != "\n\n") out += "\n";
  if (add) {
    const std::string library = LibraryPath();
    if (library.empty()) return kRegistryError;
    for (const ClassEntry& c : classes) {
      const std::string prog = "[HKEY_CLASSES_ROOT\\" + c.prog_id;
      const std::string cls = "[HKEY_CLASSES_ROOT\\CLSID\\" + c.class_id;
      out += prog + "]\n@=" + Quote(c.prog_id) + "\n\n";
      out += prog + "\\CLSID]\n@=" + Quote(c.class_id) + "\n\n";
      out += cls + "]\n@=" + Quote(c.prog_id) + "\n\n";
      out += cls + "\\InprocServer32]\n@=" + Quote(library) + "\n\"ThreadingModel\"=\"Apartment\"\n\n";
      out += cls + "\\ProgID]\n@=" + Quote(c.prog_id) + "\n\n";
    }
  }
  for (const Section& s : sections) {
    if (Ours(s, classes, registry, add)) continue;
    for (const std::string& line : s.lines) out += line + "\n";
  }

  // The file may name a database with its password, and other programs
  // read it: it keeps who may read it, never gains a reader.
  if (!WriteSecretFile(path, out, SecretMode::kKeepReaders).ok()) return kRegistryError;
  return 0;
}

}  // namespace
}  // namespace tarn::capi

extern "C" {

int DllRegisterServer(void) {
  try {
    return tarn::capi::Edit(true);
  } catch (...) {
    return tarn::capi::kRegistryError;
  }
}

int DllUnregisterServer(void) {
  try {
    return tarn::capi::Edit(false);
  } catch (...) {
    return tarn::capi::kRegistryError;
  }
}

}  // extern "C"
