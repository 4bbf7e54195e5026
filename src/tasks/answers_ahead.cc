#include "tasks/answers_ahead.h"

#include <algorithm>

namespace tarn::tasks {

void AnswersAhead::Keep(std::vector<db::Statement>& sent, size_t from, const std::vector<Status>& statuses,
                        std::vector<db::ResultSet>& results) {
  for (size_t i = from; i < sent.size(); ++i) {
    // A failed read is asked again at its turn, for its own errors.
    if (statuses[i].ok()) answers_.push_back(Answer{std::move(sent[i]), std::move(results[i])});
  }
}

Status AnswersAhead::Send(const db::Statement& first, std::vector<db::Statement> reads) {
  const bool has_first = !first.sql().empty();
  if (!conn_.SendsTogether()) return has_first ? conn_.Execute(first) : Status::OK();
  if (has_first) reads.insert(reads.begin(), first);
  std::vector<db::ResultSet> results;
  const std::vector<Status> statuses = conn_.QueryEach(reads, &results);
  Keep(reads, has_first ? 1 : 0, statuses, results);
  return has_first ? statuses[0] : Status::OK();
}

void AnswersAhead::SendAsOne(std::vector<db::Statement> unit) {
  if (!conn_.SendsTogether()) return;
  std::vector<db::ResultSet> results;
  const std::vector<Status> statuses = conn_.QueryEach(unit, &results, true);
  Keep(unit, 0, statuses, results);
}

AnswersAhead::Answer* AnswersAhead::Find(const db::Statement& statement) {
  for (Answer& a : answers_) {
    if (!a.used && a.statement.sql() == statement.sql() && std::ranges::equal(a.statement.values(), statement.values()))
      return &a;
  }
  return nullptr;
}

Status AnswersAhead::Query(const db::Statement& statement, db::ResultSet* out) {
  Answer* a = Find(statement);
  if (!a) return conn_.Query(statement, out);
  a->used = true;
  *out = std::move(a->rows);
  return Status::OK();
}

std::vector<Status> AnswersAhead::QueryUnit(const std::vector<db::Statement>& unit) {
  std::vector<Answer*> found;
  for (const db::Statement& st : unit) {
    Answer* a = Find(st);
    if (!a) break;
    found.push_back(a);
  }
  if (found.size() == unit.size()) {
    for (Answer* a : found) a->used = true;
    return std::vector<Status>(unit.size());
  }
  std::vector<db::ResultSet> ignored;
  return conn_.QueryEach(unit, &ignored, true);
}

}  // namespace tarn::tasks
