#pragma once
// The window's own message texts, GBK.

#include "base/text.h"

namespace quill::shell::gui {

Text TemplateRulesText();
Text HelpText();
Text SettingsSavedText();

}  // namespace quill::shell::gui
