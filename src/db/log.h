// Where the data access layer says what it did on its own, such as losing
// a connection and reopening it. A library does not write into its host's
// standard error unasked: the default is nowhere, or standard error with
// TARN_DB_LOG=stderr.
#ifndef TARN_DB_LOG_H_
#define TARN_DB_LOG_H_

#include <functional>
#include <string>

namespace tarn::db {

// One line, without its newline. Called on the thread whose connection
// has something to say, so it must be safe to call from any thread.
using DbLog = std::function<void(const std::string& line)>;

// Process-wide; null restores the default.
void SetDbLog(DbLog log);

// Hands `line` to the sink in force.
void Log(const std::string& line);

}  // namespace tarn::db

#endif  // TARN_DB_LOG_H_
