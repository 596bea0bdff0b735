#pragma once
// Where the network code goes. Every address is a setting: the settings file's
// section "网络" may override each one. The window's network dialog edits five
// of its keys in the user's settings file; nothing else writes the section.

#include <string_view>

#include "base/text.h"
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

// The keys of section "网络" the network dialog edits, as typed (GBK).
struct NetworkForm {
  Text api;  // 接口
  Text gateway;
  Text jobs;
  Text retries;
  Text ca_file;
  friend bool operator==(const NetworkForm&, const NetworkForm&) = default;
};

// Why the form cannot be saved (GBK, one sentence for a message box), "" when
// it can. Empty fields are fine: they mean the defaults.
Text NetworkFormProblem(const NetworkForm& form);
// The settings file's values of the five keys.
NetworkForm ReadNetworkForm(std::string_view settings_file);
// Writes the five keys into "网络" in one file update, every other section and
// key kept. False with why (GBK) when the file could not be written.
bool SaveNetworkForm(std::string_view settings_file, const NetworkForm& form, Text* why);

}  // namespace quill::shell
