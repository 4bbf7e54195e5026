// The demo company on a scratch server, its key files in a fresh directory
// that goes with the object.
#ifndef TARN_TESTS_SUPPORT_SCRATCH_DEMO_H_
#define TARN_TESTS_SUPPORT_SCRATCH_DEMO_H_

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "support/demo_database.h"
#include "support/scratch_server.h"

namespace tarn::testing {

class ScratchDemo {
 public:
  // nullptr with `*skip` set when the server is not available here.
  static std::unique_ptr<ScratchDemo> Make(ScratchServer::Kind kind, std::string* skip) {
    auto server = ScratchServer::Make(kind, skip);
    if (!server) return nullptr;
    char tmpl[] = "/tmp/tarn-demo.XXXXXX";
    if (!mkdtemp(tmpl)) {
      *skip = "cannot create a temporary directory";
      return nullptr;
    }
    auto demo = std::unique_ptr<ScratchDemo>(new ScratchDemo(std::move(server), tmpl));
    demo->db_ = DemoOn(demo->server_->server(), demo->dir_);
    return demo;
  }
  ~ScratchDemo() { std::filesystem::remove_all(dir_); }
  ScratchDemo(const ScratchDemo&) = delete;
  ScratchDemo& operator=(const ScratchDemo&) = delete;

  ScratchServer& server() const { return *server_; }
  const std::string& dir() const { return dir_; }
  const DemoDatabase& db() const { return db_; }

 private:
  ScratchDemo(std::unique_ptr<ScratchServer> server, std::string dir)
      : server_(std::move(server)), dir_(std::move(dir)) {}

  std::unique_ptr<ScratchServer> server_;
  std::string dir_;
  DemoDatabase db_;
};

}  // namespace tarn::testing

#endif  // TARN_TESTS_SUPPORT_SCRATCH_DEMO_H_
