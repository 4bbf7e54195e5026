#include "tasks/stations.h"

#include "core/thread_state.h"
#include "platform/text.h"

namespace tarn::tasks {

bool UseWebClientStation(std::string_view sub_id, std::string_view web_client) {
  return std::string_view("PO,SO,CO,WH,PS,BM").find(sub_id) != std::string_view::npos || !web_client.empty();
}

std::string TaskStation(const core::Identity& id) {
  return UseWebClientStation(id.cSub_Id, id.cWebClient) ? id.cWebClient : core::Thread().computer_name;
}

std::string TaskLogStation(const core::Identity& id) {
  const std::string sub = AsciiUpper(id.cSub_Id);
  const bool web = sub == "PO" || sub == "SO" || sub == "CO" || sub == "WH";
  return web ? id.cWebClient : core::Thread().computer_name;
}

}  // namespace tarn::tasks
