// The arguments of an error record of the login interface travel as text
// of "resarg" elements with a "key" attribute; this turns them into the
// thread's last error arguments.
#ifndef TARN_RESOURCES_RES_ARG_XML_H_
#define TARN_RESOURCES_RES_ARG_XML_H_

#include <string_view>

#include "tarn/variant.h"

namespace tarn::resources {

// The arguments in document order, numbered from 1, each the element's
// "key" ("" when missing); an empty text gives one empty argument numbered
// 0. Raises ComError for text that is no well-formed XML inside one
// wrapping element, or that holds no "resarg" element.
Array ParseResArgXml(std::string_view text);

// The same, stored as the thread's last error arguments.
void SetLastArgumentsFromXml(std::string_view text);

}  // namespace tarn::resources

#endif  // TARN_RESOURCES_RES_ARG_XML_H_
