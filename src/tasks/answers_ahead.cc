#include "tasks/answers_ahead.h"

#include <algorithm>

namespace tarn::tasks {

Status AnswersAhead::Send(const db::Statement& first, std::vector<db::Statement> reads) {
  const bool has_first = !first.sql().empty();
  if (!conn_.SendsTogether()) return has_first ? conn_.Execute(first) : Status::OK();
  const size_t offset = has_first ? 1 : 0;
  if (has_first) reads.insert(reads.begin(), first);
  std::vector<db::ResultSet> results;
  const std::vector<Status> statuses = conn_.QueryEach(reads, &results);
  for (size_t i = offset; i < reads.size(); ++i) {
    // A failed read is asked again at its turn, for its own errors.
    if (statuses[i].ok()) answers_.push_back(Answer{std::move(reads[i]), std::move(results[i])});
  }
  return has_first ? statuses[0] : Status::OK();
}

Status AnswersAhead::Query(const db::Statement& statement, db::ResultSet* out) {
  for (Answer& a : answers_) {
    if (a.used || a.statement.sql() != statement.sql() || !std::ranges::equal(a.statement.values(), statement.values()))
      continue;
    a.used = true;
    *out = std::move(a.rows);
    return Status::OK();
  }
  return conn_.Query(statement, out);
}

}  // namespace tarn::tasks
