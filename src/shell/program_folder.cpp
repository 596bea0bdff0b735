#include "shell/program_folder.h"

#include <algorithm>

#include "base/codepage.h"
#include "base/fs.h"
#include "shell/folders_platform.h"

namespace quill::shell {

Text SettingsFilePath(std::string_view dir) { return txt_join(dir, kPathSeparator, kSettingsFileName); }

Text DefaultSaveDir(std::string_view dir) {
  static const Text folder = gbk("已生成");
  return txt_join(dir, kPathSeparator, folder);
}

Text TemplatesRoot(std::string_view dir) {
  static const Text folder = gbk("模板");
  return txt_join(dir, kPathSeparator, folder);
}

generator::TemplatePaths TemplatePathsOf(std::string_view dir, std::string_view name) {
  static const Text page = gbk("模板文件.htm");
  const Text folder = txt_join(TemplatesRoot(dir), kPathSeparator, name, kPathSeparator);
  return {txt_join(folder, page), txt_join(folder, "files")};
}

TextList ListTemplateFolders(std::string_view dir, Waiter& waiter) {
  TextList names;
  DirScanState scan;
  const Text pattern = txt_join(TemplatesRoot(dir), kPathSeparator, "*");
  for (Text name = dir_scan_next(pattern, kAttrDirectory, false, scan); !name.empty();
       name = dir_scan_next("", kAttrDirectory, false, scan)) {
    if (name != "." && name != "..") names.push_back(name);
    waiter.pump();
  }
  dir_scan_close(scan);
  return names;
}

ProgramFolders ChooseProgramFolders(Text program_dir, bool program_dir_writable, const UserFolders& user) {
  if (program_dir_writable || !user.known()) return {program_dir, program_dir, program_dir};
  return {std::move(program_dir), user.config_dir, user.data_dir};
}

ProgramFolders ChooseProgramFolders(Text program_dir) {
  const bool writable = FolderIsWritable(program_dir);
  return ChooseProgramFolders(std::move(program_dir), writable,
                              writable ? UserFolders{} : UserFoldersFromEnvironment());
}

namespace {

// Why a folder of the user's may not be used, "" when it may.
Text FolderRefusal(platform::OwnFolder state, std::string_view folder) {
  static const Text refused = gbk("拒绝使用文件夹：");
  static const Text link = gbk("它是一个符号链接，设置中的密码会被写到链接指向的地方。");
  static const Text foreign = gbk("它不属于当前用户，设置中的密码会被他人读到。");
  if (state == platform::OwnFolder::link) return txt_join(refused, folder, "\r\n", link);
  if (state == platform::OwnFolder::foreign) return txt_join(refused, folder, "\r\n", foreign);
  return {};
}

}  // namespace

Text PrepareUserFolders(const ProgramFolders& folders) {
  if (folders.portable()) return {};
  const platform::OwnFolder config = platform::MakePrivateFolders(folders.config_dir);
  if (Text refusal = FolderRefusal(config, folders.config_dir); !refusal.empty()) return refusal;
  const platform::OwnFolder data = platform::MakePrivateFolders(folders.data_dir);
  if (Text refusal = FolderRefusal(data, folders.data_dir); !refusal.empty()) return refusal;
  if (data == platform::OwnFolder::ready) dir_create(TemplatesRoot(folders.data_dir));
  return {};
}

TextList ListTemplateFolders(const ProgramFolders& folders, Waiter& waiter) {
  TextList names = ListTemplateFolders(folders.data_dir, waiter);
  if (folders.data_dir == folders.program_dir) return names;
  const std::size_t own = names.size();
  for (Text& name : ListTemplateFolders(folders.program_dir, waiter)) {
    const auto end = names.begin() + static_cast<std::ptrdiff_t>(own);
    if (std::find(names.begin(), end, name) == end) names.push_back(std::move(name));
  }
  return names;
}

generator::TemplatePaths TemplatePathsOf(const ProgramFolders& folders, std::string_view name) {
  const bool users =
      !name.empty() && platform::IsFolder(txt_join(TemplatesRoot(folders.data_dir), kPathSeparator, name));
  return TemplatePathsOf(users ? folders.data_dir : folders.program_dir, name);
}

}  // namespace quill::shell
