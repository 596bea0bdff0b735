#include "openapi/endpoints.h"

#include "base/codepage.h"
#include "base/ini.h"

namespace quill {
namespace {

void override_from(std::string_view file, std::string_view key_utf8, Text& value) {
  static const Text section = gbk("网络");
  Text configured = ini_get(file, section, gbk(key_utf8));
  if (!configured.empty()) value = std::move(configured);
}

}  // namespace

Endpoints read_endpoints(std::string_view settings_file) {
  Endpoints endpoints;
  if (settings_file.empty()) return endpoints;
  override_from(settings_file, "网关", endpoints.gateway);
  override_from(settings_file, "百度", endpoints.baidu);
  override_from(settings_file, "CNZZ", endpoints.cnzz);
  override_from(settings_file, "Baid", endpoints.baid);
  override_from(settings_file, "图片服务器", endpoints.picture_host);
  return endpoints;
}

}  // namespace quill
