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
  db::Connection& conn_;
  std::vector<Answer> answers_;
};

}  // namespace tarn::tasks

#endif  // TARN_TASKS_ANSWERS_AHEAD_H_
