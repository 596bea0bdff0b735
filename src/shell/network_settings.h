#pragma once
// Where the network code goes. Every address is a setting: the settings file's
// section "网络" may override each one; the program reads it and never writes it.

#include <string_view>

#include "generator/generation_run.h"

namespace quill::shell {

// Overrides environment's addresses with every non-empty key of section "网络"
// of the settings file: "接口" (the platform interface's method name, one of
// openapi::kInterfaceNames, checked by the run), "网关" (a full URL ending in
// "/router/rest?"; without it the interface's own), "百度",
// "CNZZ", "Baid" (service URLs), "图片服务器" (host[:port]), "证书" (a
// certificate file for https), "并发" (requests at a time, 1-16) and "重试"
// (more tries of a turned-away call, 0-10); numbers outside those ranges are
// fitted to them. A missing file or section changes nothing.
void ReadNetworkSettings(std::string_view settings_file, generator::RunEnvironment& environment);

}  // namespace quill::shell
