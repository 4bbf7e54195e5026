// Reads whose inputs are known before their turn, sent together where the
// connection saves round trips by it (PostgreSQL's pipeline) and answered
// from here when their turn comes. Elsewhere nothing is sent ahead and
// every read goes to the connection at its turn, as before.
#ifndef TARN_TASKS_ANSWERS_AHEAD_H_
#define TARN_TASKS_ANSWERS_AHEAD_H_

#include <vector>

#include "db/connection.h"
#include "db/result.h"
#include "db/statement.h"
#include "tarn/status.h"

namespace tarn::tasks {

class AnswersAhead {
 public:
  explicit AnswersAhead(db::Connection& conn) : conn_(conn) {}

  // Sends `first` (a write, say, whose outcome the caller takes) and then
  // `reads`, in that order, together. Returns first's outcome; without
  // `first` (an empty template) only the reads go.
  Status Send(const db::Statement& first, std::vector<db::Statement> reads);
  Status Send(std::vector<db::Statement> reads) { return Send(db::Statement(""), std::move(reads)); }

  // Sends `unit` ahead as one: each runs only after the one before
  // succeeded, and all commit together (QueryEach's `as_one`).
  void SendAsOne(std::vector<db::Statement> unit);

  // The outcomes of `unit`, statements that commit together: the answers
  // sent ahead when every one of them succeeded, else the whole unit runs
  // now, since a failure undid what ran before it in the same unit.
  std::vector<Status> QueryUnit(const std::vector<db::Statement>& unit);

  // The answer of `statement` when it was sent ahead and succeeded (each
  // answer serves once); otherwise the statement runs now, so that a
  // failure reaches the caller with the connection's own errors.
  Status Query(const db::Statement& statement, db::ResultSet* out);

  db::Connection& connection() const { return conn_; }

 private:
  struct Answer {
    db::Statement statement;
    db::ResultSet rows;
    bool used = false;
  };
  // The unused answer sent ahead for `statement`, or null.
  Answer* Find(const db::Statement& statement);
  void Keep(std::vector<db::Statement>& sent, size_t from, const std::vector<Status>& statuses,
            std::vector<db::ResultSet>& results);

  db::Connection& conn_;
  std::vector<Answer> answers_;
};

}  // namespace tarn::tasks

#endif  // TARN_TASKS_ANSWERS_AHEAD_H_
