// Text for an XML attribute value, escaped by the XML library we parse
// with, so that every writer of XML here escapes alike.
#ifndef TARN_PLATFORM_XML_TEXT_H_
#define TARN_PLATFORM_XML_TEXT_H_

#include <string>
#include <string_view>

namespace tarn {

// `value` as it stands between the quotes of an attribute delimited by
// `quote` (' or "): markup characters, the quote and control characters
// (line ends and tabs, which a parser would turn into blanks) become
// references.
std::string XmlAttributeText(std::string_view value, char quote = '"');

}  // namespace tarn

#endif  // TARN_PLATFORM_XML_TEXT_H_
