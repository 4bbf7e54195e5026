#include "platform/xml_text.h"

#include <pugixml.hpp>

namespace tarn {
namespace {

class StringWriter : public pugi::xml_writer {
 public:
  void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
  std::string out;
};

}  // namespace

std::string XmlAttributeText(std::string_view value, char quote) {
  pugi::xml_document doc;
  doc.append_child("a").append_attribute("v").set_value(value.data(), value.size());
  StringWriter w;
  unsigned flags = pugi::format_raw | pugi::format_no_declaration;
  if (quote == '\'') flags |= pugi::format_attribute_single_quote;
  doc.save(w, "", flags);
  // The document is <a v="..."/>: what stands between the quotes.
  constexpr std::string_view kOpen = "<a v=\"", kClose = "\"/>";
  return w.out.substr(kOpen.size(), w.out.size() - kOpen.size() - kClose.size());
}

}  // namespace tarn
