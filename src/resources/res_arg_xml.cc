#include "resources/res_arg_xml.h"

#include <libxml/parser.h>
#include <libxml/xmlreader.h>

#include <climits>
#include <memory>
#include <mutex>
#include <string>

#include "resources/error_state.h"
#include "tarn/com_error.h"

namespace tarn::resources {
namespace {

[[noreturn]] void NotWellFormed(const std::string& why) {
  throw ComError(errnum::kInvalidCall, "the error record's arguments are not well-formed XML: " + why);
}

struct ReaderDeleter {
  void operator()(xmlTextReaderPtr r) const { xmlFreeTextReader(r); }
};
struct XmlCharDeleter {
  void operator()(xmlChar* p) const { xmlFree(p); }
};

// What the parser reports: its first words, and whether anything it saw
// breaks XML itself (a namespace prefix nobody declared does not).
struct Report {
  std::string first;
  bool fatal = false;
};

void Keep(void* arg, xmlErrorPtr error) {
  auto* report = static_cast<Report*>(arg);
  if (!error) return;
  report->fatal = report->fatal || error->level == XML_ERR_FATAL;
  if (!report->first.empty() || !error->message) return;
  report->first = error->message;
  while (!report->first.empty() && (report->first.back() == '\n' || report->first.back() == ' ')) {
    report->first.pop_back();
  }
}

}  // namespace

Array ParseResArgXml(std::string_view text) {
  if (text.empty()) return Array{0, {Variant(std::string())}};
  static std::once_flag initialised;
  std::call_once(initialised, [] { xmlInitParser(); });

  // Inside one wrapping element no document type can be declared: the
  // five entities of XML are all there are. No network, no DTD loading, no
  // entity substitution is asked for either, so nothing is fetched and
  // nothing grows beyond its input. The reader keeps one element at a
  // time, however many arguments there are.
  const std::string wrapped = "<res>" + std::string(text) + "</res>";
  if (wrapped.size() > static_cast<size_t>(INT_MAX)) NotWellFormed("longer than the parser reads");
  std::unique_ptr<xmlTextReader, ReaderDeleter> reader(
      xmlReaderForMemory(wrapped.data(), static_cast<int>(wrapped.size()), nullptr, "UTF-8",
                         XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
  if (!reader) NotWellFormed("the parser could not be started");
  Report report;
  xmlTextReaderSetStructuredErrorHandler(reader.get(), Keep, &report);

  Array args{1, {}};
  int read = 0;
  while ((read = xmlTextReaderRead(reader.get())) == 1) {
    if (xmlTextReaderNodeType(reader.get()) != XML_READER_TYPE_ELEMENT || xmlTextReaderDepth(reader.get()) != 1) {
      continue;
    }
    const xmlChar* name = xmlTextReaderConstName(reader.get());
    if (!name || std::string_view(reinterpret_cast<const char*>(name)) != "resarg") continue;
    std::unique_ptr<xmlChar, XmlCharDeleter> key(xmlTextReaderGetAttribute(reader.get(), BAD_CAST "key"));
    args.items.push_back(Variant(key ? std::string(reinterpret_cast<const char*>(key.get())) : std::string()));
  }
  if (read != 0 || report.fatal) NotWellFormed(report.first.empty() ? "the parser stopped" : report.first);
  if (args.items.empty()) {
    throw ComError(errnum::kObjectRequired, "the error record's arguments hold no resarg element");
  }
  return args;
}

void SetLastArgumentsFromXml(std::string_view text) { ThreadLastError().last_res_arg = ParseResArgXml(text); }

}  // namespace tarn::resources
