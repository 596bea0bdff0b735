#include "shell/network_settings.h"

#include <algorithm>

#include "base/codepage.h"
#include "base/convert.h"
#include "base/fs.h"
#include "base/ini.h"
#include "openapi/api_interface.h"

namespace quill::shell {
namespace {

// The section, and the keys of the dialog in the form's order.
struct FormKeys {
  Text section = gbk("网络");
  Text api = gbk("接口"), gateway = gbk("网关"), jobs = gbk("并发"), retries = gbk("重试"),
       ca_file = gbk("证书");
};

const FormKeys& form_keys() {
  static const FormKeys keys;
  return keys;
}

void override_from(const IniView& settings, std::string_view key_utf8, Text& value) {
  Text configured = settings.get(form_keys().section, gbk(key_utf8));
  if (!configured.empty()) value = std::move(configured);
}

void number_from(const IniView& settings, std::string_view key_utf8, int low, int high, int& value) {
  const Text configured = settings.get(form_keys().section, gbk(key_utf8));
  if (!configured.empty()) value = std::clamp(to_int32(configured), low, high);
}

// Empty, or a whole number from low to high written in digits alone.
bool NumberIn(const Text& text, int low, int high) {
  if (text.empty()) return true;
  if (text.size() > 2 || text.find_first_not_of("0123456789") != Text::npos) return false;
  const int value = to_int32(text);
  return value >= low && value <= high;
}

bool WebAddress(const Text& text) {
  for (std::string_view scheme : {"http://", "https://"})
    if (text.starts_with(scheme) && text.size() > scheme.size()) {
      for (unsigned char c : text)
        if (c <= 0x20 || c == 0x7F) return false;
      return true;
    }
  return false;
}

}  // namespace

Text NetworkFormProblem(const NetworkForm& form) {
  if (!openapi::ParseInterface(form.api)) return Text(openapi::InterfaceChoiceMessage());
  if (!form.gateway.empty() && !WebAddress(form.gateway))
    return gbk("网关须是以 http:// 或 https:// 开头的完整网址，不含空格。");
  if (!NumberIn(form.jobs, 1, 16)) return gbk("并发须是 1 到 16 的整数（空着即 1）。");
  if (!NumberIn(form.retries, 0, 10)) return gbk("重试须是 0 到 10 的整数（空着即 3）。");
  if (!form.ca_file.empty() && !path_exists(form.ca_file)) return gbk("找不到证书文件：") + form.ca_file;
  return {};
}

NetworkForm ReadNetworkForm(std::string_view settings_file) {
  const FormKeys& k = form_keys();
  const IniView settings(settings_file);
  return {settings.get(k.section, k.api), settings.get(k.section, k.gateway), settings.get(k.section, k.jobs),
          settings.get(k.section, k.retries), settings.get(k.section, k.ca_file)};
}

bool SaveNetworkForm(std::string_view settings_file, const NetworkForm& form, Text* why) {
  const FormKeys& k = form_keys();
  IniStore store;
  store.set_file(settings_file);
  store.set_section(k.section);
  store.begin_batch();
  store.put_text(k.api, form.api);
  store.put_text(k.gateway, form.gateway);
  store.put_text(k.jobs, form.jobs);
  store.put_text(k.retries, form.retries);
  store.put_text(k.ca_file, form.ca_file);
  return store.commit(why);
}

void ReadNetworkSettings(std::string_view settings_file, generator::RunEnvironment& environment) {
  if (settings_file.empty()) return;
  const IniView settings(settings_file);
  override_from(settings, "接口", environment.api_method);
  override_from(settings, "网关", environment.gateway);
  override_from(settings, "百度", environment.short_link_services.baidu);
  override_from(settings, "CNZZ", environment.short_link_services.cnzz);
  override_from(settings, "Baid", environment.short_link_services.baid);
  override_from(settings, "图片服务器", environment.picture_host);
  override_from(settings, "证书", environment.ca_file);
  number_from(settings, "并发", 1, 16, environment.jobs);
  number_from(settings, "重试", 0, 10, environment.retries);
}

}  // namespace quill::shell
