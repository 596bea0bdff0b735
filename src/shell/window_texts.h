#pragma once
// The window's own message texts, GBK (the Qt window and the Windows window).

#include "base/text.h"

namespace quill::shell {

// user_templates: the folder of the user's own templates when the program is
// installed (the texts then name it instead of the program's folder); "" when
// they live beside the program.
// The caption of the program's message boxes: "信息：".
Text InfoCaption();

// user_templates: see below.
Text TemplateRulesText(const Text& user_templates);
// With where the network dialog opens (GBK).
Text HelpText(const Text& network_dialog_place);
Text SettingsSavedText();
// "保存配置失败：" with the settings file and, on the next line, why when known.
Text SettingsNotSavedText(const Text& file, const Text& why);

// "无法打开网址：" with the address, and that no program opens web pages.
Text LinkNotOpenedText(const Text& address);

}  // namespace quill::shell
