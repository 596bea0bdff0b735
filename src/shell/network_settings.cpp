#include "shell/network_settings.h"

#include <algorithm>

#include "base/codepage.h"
#include "base/convert.h"
#include "base/ini.h"

namespace quill::shell {
namespace {

void override_from(const IniView& settings, std::string_view key_utf8, Text& value) {
  static const Text section = gbk("网络");
  Text configured = settings.get(section, gbk(key_utf8));
  if (!configured.empty()) value = std::move(configured);
}

void number_from(const IniView& settings, std::string_view key_utf8, int low, int high, int& value) {
  static const Text section = gbk("网络");
  const Text configured = settings.get(section, gbk(key_utf8));
  if (!configured.empty()) value = std::clamp(to_int32(configured), low, high);
}

}  // namespace

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
