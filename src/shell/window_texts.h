#pragma once
// The window's own message texts, GBK (the Qt window and the Windows window).

#include "base/text.h"

namespace quill::shell {

Text TemplateRulesText();
Text HelpText();
Text SettingsSavedText();
// "保存配置失败：" with the settings file and, on the next line, why when known.
Text SettingsNotSavedText(const Text& file, const Text& why);

// "无法打开网址：" with the address, and that no program opens web pages.
Text LinkNotOpenedText(const Text& address);

}  // namespace quill::shell
