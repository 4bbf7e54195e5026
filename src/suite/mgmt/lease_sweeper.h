// Ends the leases of tasks no confirmation reached: a task whose count
// stood still for the whole lease, as this sweeper saw it on its monotonic
// clock, is forgotten and its rows in the shared task tables go. Rows of a
// task no entry knows (a service killed before it wrote an admission, a
// row of an older form) are adopted under a fresh lease first: the
// station that beats for them keeps them, and they go when none does.
// The daemon keeps one sweeper for its life; the embedded service one per
// thread's connection.
#ifndef TARN_SUITE_MGMT_LEASE_SWEEPER_H_
#define TARN_SUITE_MGMT_LEASE_SWEEPER_H_

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "db/connection.h"
#include "suite/mgmt/lease_watch.h"
#include "suite/mgmt/service_logic.h"
#include "suite/mgmt/task_store.h"

namespace tarn::suite {

class LeaseSweeper {
 public:
  // `system_db` (may be null: nothing to release or adopt) is where the
  // task rows are.
  LeaseSweeper(TaskStore& store, db::Connection* system_db, ServiceLog log)
      : store_(store), system_db_(system_db), log_(std::move(log)) {}

  // One look at every task at `now_ms` of a monotonic clock. Returns how
  // many tasks went.
  int Sweep(int64_t now_ms, int64_t lease_ms);

  // Tasks this sweeper is watching (for its log and tests).
  size_t watched() const { return watch_.size(); }

 private:
  void AdoptOrphans(std::vector<TaskEntry>* tasks);
  // False when the rows could not be released (tried again next time).
  bool Release(const TaskEntry& e);

  TaskStore& store_;
  db::Connection* system_db_;
  ServiceLog log_;
  LeaseWatch watch_;
  // Forgotten tasks whose rows a busy database kept: released before
  // anything is adopted, so they do not get a second lease.
  std::set<std::string> unreleased_;
};

}  // namespace tarn::suite

#endif  // TARN_SUITE_MGMT_LEASE_SWEEPER_H_
