// Our database kit: a connection of the data layer on the string it is
// handed.
#include "db/connection.h"
#include "db/raise.h"
#include "platform/object_registry.h"
#include "boundary/suite.h"
#include "suite/defaults.h"
#include "tarn/com_error.h"

namespace tarn::suite {

using boundary::DatabaseKit;
using boundary::kDatabaseKitProgId;
namespace {

class DataLayerKit final : public DatabaseKit {
 public:
  void opendatabase(const std::string& connection_string) override {
    connection_ = db::Connection::Create();
    Status s = connection_->Open(connection_string, "", "");
    if (!s.ok()) connection_.reset();
    db::RaiseIfFailed(s, "valedbkit");
  }
  void oClose() override {
    if (connection_) connection_->Close();
    connection_.reset();
  }
  // The open connection, for hosts that use the kit's data access.
  db::ConnectionPtr connection() const { return connection_; }

 private:
  db::ConnectionPtr connection_;
};

}  // namespace

void RegisterDefaultDatabaseKit(ObjectRegistry& registry) {
  registry.RegisterDefault(kDatabaseKitProgId, [] { return std::make_shared<DataLayerKit>(); });
}

}  // namespace tarn::suite
