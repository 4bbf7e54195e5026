// Any-typed values to and from JSON, as the session protocol writes them:
// dates as "YYYY-MM-DD HH:MM:SS", Null and nothing as null, error records
// as {"ResId":...,"ResArg":[...]}, recordsets as {"fields":[...],"rows":[...]}.
#ifndef TARN_APPS_TARN_JSON_VALUES_H_
#define TARN_APPS_TARN_JSON_VALUES_H_

#include <nlohmann/json.hpp>

#include "tarn/variant.h"

namespace tarn::app {

using Json = nlohmann::ordered_json;

Json ToJson(const Variant& value);
// Strings stay strings: a member that takes a date converts the text.
// Raises ComError 6 for a whole number that no value holds exactly.
Variant FromJson(const Json& value);

}  // namespace tarn::app

#endif  // TARN_APPS_TARN_JSON_VALUES_H_
