#include "resources/res_service.h"

#include "resources/error_state.h"
#include "tarn/message_box.h"
#include "platform/object_registry.h"

namespace tarn::resources {
namespace {

template <class T>
std::shared_ptr<T> Create(std::string_view prog_id) {
  return ObjectRegistry::Global().CreateAs<T>(prog_id);
}

}  // namespace

bool clsResService::Init() {
  factory_ = Create<boundary::ResourceServiceFactory>(boundary::kResourceFactoryProgId);
  resource_service_ = factory_->GetResourceService();
  formatter_ = Create<boundary::ResourceFormatter>(boundary::kResourceFormatterProgId);
  return true;
}

std::shared_ptr<boundary::ResourceServiceFactory> clsResService::Factory() {
  if (!factory_) factory_ = Create<boundary::ResourceServiceFactory>(boundary::kResourceFactoryProgId);
  return factory_;
}

std::shared_ptr<boundary::LocalService> clsResService::GetResLocalSvr() {
  if (!local_service_) local_service_ = Factory()->GetLocalService();
  return local_service_;
}

std::shared_ptr<boundary::ResourceService> clsResService::GetResSvr() {
  if (!resource_service_) resource_service_ = Factory()->GetResourceService();
  return resource_service_;
}

std::shared_ptr<boundary::ResourceFormatter> clsResService::GetResFormat() {
  if (!formatter_) formatter_ = Create<boundary::ResourceFormatter>(boundary::kResourceFormatterProgId);
  return formatter_;
}

std::shared_ptr<boundary::LayoutService> clsResService::GetResLayoutSvr() {
  if (!layout_service_) {
    auto layout = Create<boundary::LayoutService>(boundary::kLayoutServiceProgId);
    layout->SetXAMLFileRootPath("");
    layout_service_ = layout;
  }
  return layout_service_;
}

std::string clsResService::GetResString(const std::string& res_id) {
  auto service = GetResSvr();
  if (!service) throw ComError(errnum::kObjectRequired, "Object variable not set");
  std::string text = service->GetString(res_id);
  ThreadLastError().last_res_id = res_id;
  return Checked(std::move(text), res_id);
}

std::string clsResService::GetResFormatString(const std::string& res_id, const Array& args) {
  auto formatter = GetResFormat();
  std::string text = formatter->GetString(res_id, args);
  ThreadLastError().last_res_id = res_id;
  return Checked(std::move(text), res_id);
}

// The extended edition does not pass an unknown id by: it says so in a
// message box and raises error 99 to the lookup's caller.
std::string clsResService::Checked(std::string text, const std::string& res_id) {
  if (!text.empty() || MessageEdition() != Edition::kExtended) return text;
  ShowMessage(Message{"没有找到资源号：" + res_id, "TarnLogin", MessageIcon::kNone, MessageButtons::kOk});
  throw ComError(kNotFound, "not find " + res_id, "test");
}

std::string clsResService::GetCurrentLanguage() {
  auto local = GetResLocalSvr();
  if (!local) throw ComError(errnum::kObjectRequired, "Object variable not set");
  return local->GetLocalID();
}

Variant ToDBCurrentLanguage(const std::string& language_id) {
  if (language_id == "zh-cn") return Variant("Simplified Chinese");
  if (language_id == "zh-tw") return Variant("Traditional Chinese");
  return Variant("English");
}

}  // namespace tarn::resources
