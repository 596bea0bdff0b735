#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/codepage.h"
#include "shell/folders_platform.h"
#include "shell/program_folder.h"

namespace quill::shell {
namespace {

std::string to_system(std::string_view gbk_path) { return gbk_to_utf8(gbk_path); }

bool has_nul(std::string_view path) { return path.find('\0') != std::string_view::npos; }

// The variable's value when it is an absolute path, "" otherwise.
std::string absolute_env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
}

std::string home_folder() {
  if (std::string home = absolute_env("HOME"); !home.empty()) return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
      found->pw_dir == nullptr || found->pw_dir[0] != '/')
    return {};
  return found->pw_dir;
}

// The base folder from the variable, or home + fallback; "" without either.
std::string base_folder(const char* variable, const std::string& home, std::string_view fallback) {
  if (std::string value = absolute_env(variable); !value.empty()) return value;
  return home.empty() ? std::string() : home + std::string(fallback);
}

// base/quillmoor in GBK; "" when base is empty or has no exact GBK name.
Text program_subfolder(std::string base) {
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  if (base.empty() || has_nul(base)) return {};
  const std::string utf8 = (base == "/" ? "" : base) + "/quillmoor";
  Text path = utf8_to_gbk(utf8);
  // A name that does not survive the round trip would point somewhere else.
  return gbk_to_utf8(path) == utf8 ? path : Text();
}

}  // namespace

UserFolders UserFoldersFromEnvironment() {
  const std::string home = home_folder();
  return {program_subfolder(base_folder("XDG_CONFIG_HOME", home, "/.config")),
          program_subfolder(base_folder("XDG_DATA_HOME", home, "/.local/share"))};
}

bool FolderIsWritable(std::string_view dir) {
  if (dir.empty() || has_nul(dir)) return false;
  std::string probe = to_system(dir) + "/.quillmoor-probe-XXXXXX";
  const int fd = ::mkstemp(probe.data());
  if (fd < 0) return false;
  ::close(fd);
  return ::unlink(probe.c_str()) == 0;
}

namespace platform {

bool IsFolder(std::string_view path) {
  struct stat info {};
  return !has_nul(path) && ::stat(to_system(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

OwnFolder MakePrivateFolders(std::string_view path) {
  if (path.empty() || has_nul(path)) return OwnFolder::missing;
  const std::string full = to_system(path);
  for (std::size_t slash = full.find('/', 1); slash != std::string::npos; slash = full.find('/', slash + 1))
    ::mkdir(full.substr(0, slash).c_str(), 0700);
  ::mkdir(full.c_str(), 0700);
  struct stat info {};
  if (::lstat(full.c_str(), &info) != 0) return OwnFolder::missing;
  if (S_ISLNK(info.st_mode)) return OwnFolder::link;
  if (!S_ISDIR(info.st_mode)) return OwnFolder::missing;
  if (info.st_uid != ::geteuid()) return OwnFolder::foreign;
  // A folder the user made himself (to add network settings, say) has his
  // usual 0755; a failed tightening leaves the settings file's own 0600.
  if ((info.st_mode & 077) != 0) ::chmod(full.c_str(), info.st_mode & 07700);
  return OwnFolder::ready;
}

}  // namespace platform
}  // namespace quill::shell
