// The thin wrapper through which every message text is looked up in the
// suite's multi-language package. One per thread, created on first use.
#ifndef TARN_RESOURCES_RES_SERVICE_H_
#define TARN_RESOURCES_RES_SERVICE_H_

#include <memory>
#include <string>

#include "boundary/suite.h"
#include "tarn/edition.h"
#include "tarn/variant.h"

namespace tarn::resources {

class clsResService {
 public:
  // The number the extended edition raises for an id without text.
  static constexpr int32_t kNotFound = 99;

  // Creates the factory, its resource service and the formatter. Creation
  // failures propagate as ComError.
  bool Init();

  // Both record `res_id` as the thread's last resource id.
  std::string GetResString(const std::string& res_id);
  std::string GetResFormatString(const std::string& res_id, const Array& args);

  std::string GetCurrentLanguage();

  std::shared_ptr<boundary::LocalService> GetResLocalSvr();
  std::shared_ptr<boundary::ResourceService> GetResSvr();
  std::shared_ptr<boundary::ResourceFormatter> GetResFormat();
  std::shared_ptr<boundary::LayoutService> GetResLayoutSvr();

 private:
  std::shared_ptr<boundary::ResourceServiceFactory> Factory();
  static std::string Checked(std::string text, const std::string& res_id);

  std::shared_ptr<boundary::ResourceServiceFactory> factory_;
  std::shared_ptr<boundary::ResourceService> resource_service_;
  std::shared_ptr<boundary::ResourceFormatter> formatter_;
  std::shared_ptr<boundary::LocalService> local_service_;
  std::shared_ptr<boundary::LayoutService> layout_service_;
};

// Maps a locale name to the language name the database keeps: exact,
// case-sensitive.
Variant ToDBCurrentLanguage(const std::string& language_id);

// The thread's shared wrapper, created (not initialised) on first use.
clsResService& SharedResService();
// Whether this thread holds one now (tests of the release).
bool HasSharedResService();

// Whose rules the thread's lookups follow: the edition of the login object
// created last on the thread (a process hosts one edition's library).
void SetMessageEdition(Edition edition);
Edition MessageEdition();

}  // namespace tarn::resources

#endif  // TARN_RESOURCES_RES_SERVICE_H_
