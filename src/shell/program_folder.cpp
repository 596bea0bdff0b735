#include "shell/program_folder.h"

#include "base/codepage.h"
#include "base/fs.h"

namespace quill::shell {

Text SettingsFilePath(std::string_view program_dir) {
  return txt_join(program_dir, kPathSeparator, kSettingsFileName);
}

Text DefaultSaveDir(std::string_view program_dir) {
  static const Text folder = gbk("已生成");
  return txt_join(program_dir, kPathSeparator, folder);
}

Text TemplatesRoot(std::string_view program_dir) {
  static const Text folder = gbk("模板");
  return txt_join(program_dir, kPathSeparator, folder);
}

generator::TemplatePaths TemplatePathsOf(std::string_view program_dir, std::string_view name) {
  static const Text page = gbk("模板文件.htm");
  const Text folder = txt_join(TemplatesRoot(program_dir), kPathSeparator, name, kPathSeparator);
  return {txt_join(folder, page), txt_join(folder, "files")};
}

TextList ListTemplateFolders(std::string_view program_dir, Waiter& waiter) {
  TextList names;
  DirScanState scan;
  const Text pattern = txt_join(TemplatesRoot(program_dir), kPathSeparator, "*");
  for (Text name = dir_scan_next(pattern, kAttrDirectory, false, scan); !name.empty();
       name = dir_scan_next("", kAttrDirectory, false, scan)) {
    if (name != "." && name != "..") names.push_back(name);
    waiter.pump();
  }
  dir_scan_close(scan);
  return names;
}

}  // namespace quill::shell
