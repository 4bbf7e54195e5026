// The management service's settings as the registry file gives them.
#include <gtest/gtest.h>

#include <string>

#include "suite/service_config.h"
#include "suite/settings.h"
#include "support/fake_env.h"

namespace tarn {
namespace {

// Stations confirm their tasks once a heartbeat; a lease shorter than two of
// them releases a live station's locks between its beats.
TEST(ServiceConfigTest, ALeaseMustCoverTwoHeartbeats) {
  const struct {
    const char* lease;
    const char* heartbeat;
    const char* error;  // "": served as set
  } cases[] = {
      {"", "", ""},
      {"119", "", "LeaseSeconds 119 is shorter than twice HeartbeatSeconds (2 x 60 s)"},
      {"2", "1", ""},
      {"3", "2", "LeaseSeconds 3 is shorter than twice HeartbeatSeconds (2 x 2 s)"},
      {"5", "0", "HeartbeatSeconds 0 is not a number of seconds of at least 1"},
      {"5", "x", "HeartbeatSeconds x"},
  };
  for (const auto& c : cases) {
    testing::FakeEnv env;
    testing::FakeEnvScope scope(env);
    if (*c.lease) env.registry.SetString(suite::kSettingsKey, "LeaseSeconds", c.lease);
    if (*c.heartbeat) env.registry.SetString(suite::kSettingsKey, "HeartbeatSeconds", c.heartbeat);
    const suite::ServiceConfig config = suite::ReadServiceConfig();
    if (*c.error) {
      EXPECT_NE(config.config_error.find(c.error), std::string::npos)
          << c.lease << "/" << c.heartbeat << ": " << config.config_error;
    } else {
      EXPECT_EQ(config.config_error, "") << c.lease << "/" << c.heartbeat;
      EXPECT_EQ(config.heartbeat_seconds, *c.heartbeat ? std::stoll(c.heartbeat) : 60) << c.heartbeat;
    }
  }
}

}  // namespace
}  // namespace tarn
