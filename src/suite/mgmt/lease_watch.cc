#include "suite/mgmt/lease_watch.h"

#include <sodium.h>

#include <algorithm>

namespace tarn::suite {

int64_t FreshCount() {
  // 2^31 starting points, each with room for a century of beats, all of
  // them exact in the double the table keeps.
  return static_cast<int64_t>(randombytes_uniform(0x7fffffff)) << 16;
}

std::string LeaseWatch::Key(const std::string& identity, const std::string& task) {
  std::string key = identity;
  key.push_back('\0');
  key.append(task);
  return key;
}

int64_t LeaseWatch::Still(const std::string& identity, const std::string& task, int64_t beats, int64_t now_ms) {
  auto [it, inserted] = seen_.try_emplace(Key(identity, task), Seen{beats, now_ms, round_});
  Seen& s = it->second;
  s.round = round_;
  if (!inserted && s.beats != beats) {
    s.beats = beats;
    s.since_ms = now_ms;
  }
  // A clock that does not jump never goes back; the guard keeps a fake one
  // from making a lease negative.
  return std::max<int64_t>(0, now_ms - s.since_ms);
}

void LeaseWatch::Drop(const std::string& identity, const std::string& task) { seen_.erase(Key(identity, task)); }

void LeaseWatch::EndRound() {
  std::erase_if(seen_, [this](const auto& item) { return item.second.round != round_; });
}

}  // namespace tarn::suite
