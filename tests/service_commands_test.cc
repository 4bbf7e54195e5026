// The management-service commands as the login component sends them: the
// request lines, the reading of replies, the subsystem mapping and the
// stored-text decoder.
#include <gtest/gtest.h>

#include "platform/object_registry.h"
#include "boundary/service_protocol.h"
#include "service/service_calls.h"
#include "service/stored_text.h"
#include "boundary/suite.h"
#include "boundary/handshake.h"
#include "suite/reply_codec.h"
#include "support/fake_env.h"
#include "support/fake_parley.h"
#include "tarn/com_error.h"

namespace tarn {
namespace {

using testing::FakeEnv;
using testing::FakeEnvScope;
using testing::FakeParley;
using testing::FakeParleyScope;

class ServiceCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override { core::Thread(); }  // start-up values before the first command

  FakeEnv env_;
  FakeEnvScope scope_{env_};
  std::shared_ptr<FakeParley> parley_ = std::make_shared<FakeParley>();
  FakeParleyScope parley_scope_{parley_};
};

TEST_F(ServiceCommandsTest, RequestLinesAreTheSixFieldTexts) {
  using namespace service;
  SvcConnect("SRV", "ID@1", "GL", "45000.5");
  SvcConnectEx("SRV", "ID@1", "GL", "45000.5");
  SvcLogout("SRV", "ID@1", "AP", "7");
  SvcExit("SRV", "ID@1", "GL");
  SvcChangeYear("SRV", "ID@1", "GL");
  SvcList("SRV", "ID@1", "GL");
  parley_->unlocked = true;
  SvcHostInfo("SRV", "ID@1");
  EXPECT_EQ(parley_->requests(),
            (std::vector<std::string>{"Connect,ID@1,GL,0,45000.5,9801", "Connect,ID@1,GL,-1,45000.5,9801",
                                      "Logout,ID@1,AP,0,7,9801", "Exit,ID@1,GL,0,0,9801", "ChangeYear,ID@1,GL,0,0,9801",
                                      "List,ID@1,GL,0,0,9801", "HostInfo,ID@1,,0,0,9801"}));
  for (const auto& call : parley_->calls) EXPECT_EQ(call.host, "SRV");
  // Every buffer but the log-out's is prepared with 512 characters.
  EXPECT_EQ(parley_->calls[0].buffer_size, 512u);
  EXPECT_EQ(parley_->calls[2].buffer_size, 0u);
}

TEST_F(ServiceCommandsTest, PassCountsAsASubstringInLowerCaseOnly) {
  using service::SvcConnect;
  parley_->reply = "bypassed";
  EXPECT_TRUE(SvcConnect("", "ID", "GL", "1"));
  parley_->reply = "PASS";
  EXPECT_FALSE(SvcConnect("", "ID", "GL", "1"));
  parley_->reply = "";
  EXPECT_FALSE(SvcConnect("", "ID", "GL", "1"));
  EXPECT_EQ(parley_->calls[0].host, "");  // an empty host still calls
}

TEST_F(ServiceCommandsTest, ConnectExTellsPassReloginAndEverythingElse) {
  using service::SvcConnectEx;
  parley_->reply = "relogin";
  EXPECT_EQ(SvcConnectEx("", "ID", "GL", "1"), 1);
  parley_->reply = "relogin, then pass";
  EXPECT_EQ(SvcConnectEx("", "ID", "GL", "1"), 0);
  parley_->reply = "refused: every seat of the subsystem is taken (limit 1)";
  EXPECT_EQ(SvcConnectEx("", "ID", "GL", "1"), -1);
  parley_->result = 1;
  parley_->reply = "pass";
  EXPECT_EQ(SvcConnectEx("", "ID", "GL", "1"), -1);
  EXPECT_FALSE(service::SvcExit("", "ID", "GL"));
  EXPECT_EQ(service::SvcLogout("", "ID", "GL", "1"), "False");
  parley_->result = 0;
  EXPECT_EQ(service::SvcLogout("", "ID", "GL", "1"), "True");
}

TEST_F(ServiceCommandsTest, ARepliesLockedForAnotherThreadDoesNotPass) {
  // The reply must be unlocked with this thread's handshake: a reply locked
  // for another one reads as nothing.
  auto sundry = ObjectRegistry::Global().CreateAs<boundary::Sundry>(boundary::kSundryLibrary);
  boundary::ProcessTriple other = boundary::CurrentProcessTriple();
  other.thread_id += 1;
  std::string buffer(512, ' ');
  buffer.replace(0, 0, suite::LockReply("pass", boundary::ReplyHandshake(*sundry, other)) + '\0');
  EXPECT_EQ(service::DecodeReply(buffer), "");
  parley_->exact_buffer = buffer;
  EXPECT_FALSE(service::SvcConnect("", "ID", "GL", "1"));
  // The plain text itself is no reply either.
  parley_->exact_buffer = std::string("pass") + '\0';
  EXPECT_FALSE(service::SvcConnect("", "ID", "GL", "1"));
}

TEST_F(ServiceCommandsTest, MissingLibrariesAreFailuresExceptForHostInfo) {
  ScopedRegistration no_parley(boundary::kParleyLibrary, nullptr);
  EXPECT_FALSE(service::SvcConnect("", "ID", "GL", "1"));
  EXPECT_EQ(service::SvcConnectEx("", "ID", "GL", "1"), -1);
  EXPECT_EQ(service::SvcLogout("", "ID", "GL", "1"), "False");
  EXPECT_FALSE(service::SvcList("", "ID", "GL"));
  EXPECT_THROW(service::SvcHostInfo("", "ID"), ComError);
}

TEST_F(ServiceCommandsTest, HostInfoReadsTheRawReplyUpToNulAndComma) {
  parley_->unlocked = true;
  parley_->reply = "APPSRV01,tarn service";
  EXPECT_EQ(service::SvcHostInfo("APPSRV01", "ID"), "APPSRV01");
  parley_->reply = "APPSRV01";
  EXPECT_EQ(service::SvcHostInfo("APPSRV01", "ID"), "APPSRV01");
  parley_->result = 1;
  EXPECT_EQ(service::SvcHostInfo("APPSRV01", "ID"), "");
  parley_->result = 0;
  parley_->exact_buffer = "NO-NUL-IN-THIS-REPLY";
  try {
    service::SvcHostInfo("APPSRV01", "ID");
    ADD_FAILURE() << "a reply without NUL must raise";
  } catch (const ComError& e) {
    EXPECT_EQ(e.number(), errnum::kInvalidCall);
  }
}

TEST_F(ServiceCommandsTest, SubsystemCodesMapByEdition) {
  using boundary::MapSubIdForEdition;
  EXPECT_EQ(MapSubIdForEdition("PS", true), "PG");
  EXPECT_EQ(MapSubIdForEdition("bm", true), "BG");
  EXPECT_EQ(MapSubIdForEdition("Da", true), "DG");
  EXPECT_EQ(MapSubIdForEdition("SG", true), "SG");
  EXPECT_EQ(MapSubIdForEdition("sg", false), "SF");
  EXPECT_EQ(MapSubIdForEdition("ps", false), "ps");  // unmatched codes go out as passed
  EXPECT_EQ(MapSubIdForEdition("gl", true), "gl");
}

TEST_F(ServiceCommandsTest, StoredTextsDecodeOnlyWithTheirMark) {
  std::string plain = "secret";
  EXPECT_EQ(service::DecodeStoredText(plain), "secret");
  EXPECT_TRUE(parley_->calls.empty());

  std::string stored = "  " + parley_->CommEncode("s3cr et") + "  \x03";
  EXPECT_EQ(service::DecodeStoredText(stored), "s3cr et");
  // The argument holds what went to the library: trimmed, with a NUL.
  EXPECT_EQ(stored, parley_->CommEncode("s3cr et") + '\0');

  std::string not_encoded = "plain\x03";
  EXPECT_EQ(service::DecodeStoredText(not_encoded), "");
}

TEST(StoredTextCodecTest, EncodedFormIsPrintableAndRoundTrips) {
  const std::string plain = "pa ss\x01\xe4\xb8\xad";
  const std::string stored = suite::CommEncodeText(plain);
  EXPECT_EQ(stored.find_first_not_of("0123456789ABCDEF"), std::string::npos);
  EXPECT_EQ(suite::CommDecodeText(stored), plain);
  EXPECT_EQ(suite::CommDecodeText(std::string(stored) + '\0' + "tail"), plain);
  EXPECT_EQ(suite::CommDecodeText(suite::CommEncodeText(std::string(1000, 'x'))), std::string(511, 'x'));
}

TEST(ReplyCodecTest, LockedRepliesFitTheBufferAndNeedTheirHandshake) {
  const std::string locked = suite::LockReply(std::string(1000, 'p'), 42);
  EXPECT_LE(locked.size(), 511u);
  EXPECT_EQ(locked.find_first_of(" \0", 0, 2), std::string::npos);
  EXPECT_EQ(suite::UnlockReply(locked, 42), std::string(suite::kMaxPlainReply, 'p'));
  EXPECT_EQ(suite::UnlockReply(locked, 43), std::nullopt);
  EXPECT_EQ(suite::UnlockReply("~ZZ", 42), std::nullopt);
  EXPECT_EQ(suite::UnlockReply("pass", 42), std::nullopt);
}

}  // namespace
}  // namespace tarn
