#include "db/log.h"

#include <cstdio>
#include <mutex>

#include "platform/env.h"

namespace tarn::db {
namespace {

std::mutex mu;

DbLog& Sink() {
  static DbLog* sink = new DbLog;  // used until the process ends
  return *sink;
}

}  // namespace

void SetDbLog(DbLog log) {
  std::lock_guard lock(mu);
  Sink() = std::move(log);
}

void Log(const std::string& line) {
  DbLog sink;
  {
    std::lock_guard lock(mu);
    sink = Sink();
  }
  if (sink) {
    sink(line);
  } else if (Env::Current().GetEnvVar("TARN_DB_LOG").value_or("") == "stderr") {
    std::fprintf(stderr, "tarn db: %s\n", line.c_str());
  }
}

}  // namespace tarn::db
