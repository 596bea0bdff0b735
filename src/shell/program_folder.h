#pragma once
// The program folder and what lives in it: the settings file, the templates
// (one folder each, holding 模板文件.htm and files/), the default save folder.
// Nothing else knows these names.

#include <string_view>

#include "base/text.h"
#include "base/wait.h"
#include "generator/generation_run.h"

namespace quill::shell {

inline constexpr std::string_view kSettingsFileName = "Quillbatch.ini";

// program_dir + separator + kSettingsFileName.
Text SettingsFilePath(std::string_view program_dir);
// program_dir + separator + "已生成".
Text DefaultSaveDir(std::string_view program_dir);
// program_dir/模板.
Text TemplatesRoot(std::string_view program_dir);
// program_dir/模板/name/模板文件.htm and program_dir/模板/name/files; an empty
// name gives paths that do not exist.
generator::TemplatePaths TemplatePathsOf(std::string_view program_dir, std::string_view name);
// The names of the template folders in scan order, "." and ".." left out;
// pumps the waiter after each.
TextList ListTemplateFolders(std::string_view program_dir, Waiter& waiter = NoUiWaiter());

}  // namespace quill::shell
