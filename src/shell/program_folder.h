#pragma once
// The program folder and what lives in it: the settings file, the templates
// (one folder each, holding 模板文件.htm and files/), the default save folder.
// Nothing else knows these names.
//
// A portable program keeps everything beside itself, as on Windows. An
// installed one (its folder not writable by the user) keeps the settings file
// in the user's config folder, and the save folder and the user's own
// templates in the user's data folder; the shipped templates stay with the
// program and are listed after the user's.

#include <string_view>

#include "base/text.h"
#include "base/wait.h"
#include "generator/generation_run.h"

namespace quill::shell {

inline constexpr std::string_view kSettingsFileName = "Quillbatch.ini";

// dir + separator + kSettingsFileName.
Text SettingsFilePath(std::string_view dir);
// dir + separator + "已生成".
Text DefaultSaveDir(std::string_view dir);
// dir/模板.
Text TemplatesRoot(std::string_view dir);
// dir/模板/name/模板文件.htm and dir/模板/name/files; an empty name gives paths
// that do not exist.
generator::TemplatePaths TemplatePathsOf(std::string_view dir, std::string_view name);
// The names of the template folders in dir/模板 in scan order, "." and ".."
// left out; pumps the waiter after each.
TextList ListTemplateFolders(std::string_view dir, Waiter& waiter);

// Where the program's files are. Portable: the three folders are the same.
struct ProgramFolders {
  Text program_dir;  // the executables, the shipped 模板/, 模板制作教程.htm
  Text config_dir;   // holds Quillbatch.ini
  Text data_dir;     // holds 已生成/ and the user's own 模板/
  bool portable() const { return config_dir == program_dir && data_dir == program_dir; }
  friend bool operator==(const ProgramFolders&, const ProgramFolders&) = default;
};

// The user's folders for this program, GBK, without a trailing separator.
struct UserFolders {
  Text config_dir;  // $XDG_CONFIG_HOME/quillmoor
  Text data_dir;    // $XDG_DATA_HOME/quillmoor
  bool known() const { return !config_dir.empty() && !data_dir.empty(); }
};

// From $XDG_CONFIG_HOME and $XDG_DATA_HOME, or else ~/.config and
// ~/.local/share ($HOME, or the account's home when HOME is unset). Relative
// values are ignored, as the XDG rules ask. Empty texts when there is no
// absolute home, or when a folder's name cannot be written in GBK.
UserFolders UserFoldersFromEnvironment();

// True when a file can be created and removed in dir: a real try, since root
// writes through permission bits and a read-only mount ignores them. False for
// a missing folder, an empty path or one holding a NUL byte.
bool FolderIsWritable(std::string_view dir);

// The program folder itself when it is writable or the user's folders are
// unknown (saves then fail as they would); the user's folders otherwise.
ProgramFolders ChooseProgramFolders(Text program_dir, bool program_dir_writable, const UserFolders& user);
// As above, probing the program folder and reading the environment once.
ProgramFolders ChooseProgramFolders(Text program_dir);

// Creates the user's folders (the config folder, the data folder with its
// 模板/) so the settings file can be written and the user finds where his
// templates go, and makes them his alone; nothing for a portable program.
// "" when they may be used; otherwise a message (GBK) naming the folder that is
// a symbolic link or another user's: nothing may be read or written there.
// Other failures are left to the writes that come later.
Text PrepareUserFolders(const ProgramFolders& folders);

// The template names: the user's folder first, then the program folder's
// (a name in both is listed once, the user's); pumps the waiter after each.
TextList ListTemplateFolders(const ProgramFolders& folders, Waiter& waiter);
// The template's paths where the list found it: the user's folder when it
// holds a folder of that name, the program folder otherwise.
generator::TemplatePaths TemplatePathsOf(const ProgramFolders& folders, std::string_view name);

}  // namespace quill::shell
