#include "resources/res_arg_xml.h"

#include <pugixml.hpp>

#include <string>

#include "resources/error_state.h"
#include "tarn/com_error.h"

namespace tarn::resources {

Array ParseResArgXml(std::string_view text) {
  if (text.empty()) return Array{0, {Variant(std::string())}};
  const std::string wrapped = "<res>" + std::string(text) + "</res>";
  pugi::xml_document doc;
  // pugixml expands no entity beyond the five of XML and reads no DTD: no
  // text can make it fetch anything or grow beyond its input.
  const pugi::xml_parse_result parsed = doc.load_buffer(wrapped.data(), wrapped.size(), pugi::parse_default);
  if (!parsed) {
    throw ComError(errnum::kInvalidCall,
                   std::string("the error record's arguments are not well-formed XML: ") + parsed.description());
  }
  // pugixml takes a fragment of several top-level nodes; XML does not. Text
  // that closes the wrapping element and opens another is refused.
  size_t top_level = 0;
  for (const pugi::xml_node& node : doc.children()) {
    if (node.type() == pugi::node_element || node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) {
      ++top_level;
    }
  }
  if (top_level != 1) {
    throw ComError(errnum::kInvalidCall, "the error record's arguments are not well-formed XML: text beyond its element");
  }
  Array args{1, {}};
  for (const pugi::xml_node& node : doc.child("res").children("resarg")) {
    args.items.push_back(Variant(std::string(node.attribute("key").value())));
  }
  if (args.items.empty()) {
    throw ComError(errnum::kObjectRequired, "the error record's arguments hold no resarg element");
  }
  return args;
}

void SetLastArgumentsFromXml(std::string_view text) { ThreadLastError().last_res_arg = ParseResArgXml(text); }

}  // namespace tarn::resources
