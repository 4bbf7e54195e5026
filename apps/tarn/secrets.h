// Secrets the tool reads: never from its command line, where every user of
// the machine sees them in the process list.
#ifndef TARN_APPS_TARN_SECRETS_H_
#define TARN_APPS_TARN_SECRETS_H_

#include <string>

namespace tarn::app {

// A password: asked for on the terminal without echo when standard input
// is one, else the first line of standard input. false at end of input.
bool ReadPassword(const std::string& prompt, std::string* password);

// The text of a file (a connection string, say), trimmed of the line end
// and surrounding blanks. false when it cannot be read or is empty.
bool ReadSecretFile(const std::string& path, std::string* text);

}  // namespace tarn::app

#endif  // TARN_APPS_TARN_SECRETS_H_
