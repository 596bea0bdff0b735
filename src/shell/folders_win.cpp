// The program folders on Windows: the user's folders are the known folders
// (settings in the roaming application data, templates and pages in the
// documents), paths go to the wide functions.

#include <windows.h>
// after windows.h, which they build on
#include <knownfolders.h>
#include <shlobj.h>

#include <string>

#include "base/codepage.h"
#include "base/win_file.h"
#include "shell/folders_platform.h"
#include "shell/program_folder.h"

namespace quill::shell {
namespace {

// known\quillmoor in GBK; "" when the folder is unknown or has no exact GBK name.
Text program_subfolder(const KNOWNFOLDERID& known) {
  PWSTR path = nullptr;
  if (FAILED(::SHGetKnownFolderPath(known, 0, nullptr, &path))) return {};
  std::u16string wide(reinterpret_cast<const char16_t*>(path));
  ::CoTaskMemFree(path);
  if (wide.empty()) return {};
  if (wide.back() != u'\\') wide += u'\\';
  wide += u"quillmoor";
  Text gbk_path = utf16_to_gbk(wide);
  // A name that does not survive the round trip would point somewhere else.
  return gbk_to_utf16(gbk_path) == wide ? gbk_path : Text();
}

}  // namespace

UserFolders UserFoldersFromEnvironment() {
  return {program_subfolder(FOLDERID_RoamingAppData), program_subfolder(FOLDERID_Documents)};
}

bool FolderIsWritable(std::string_view dir) {
  const std::wstring wide = win::wide_path(dir);
  if (wide.empty()) return false;
  std::wstring probe;
  win::Handle file(win::create_temp_beside(wide + L"\\probe", probe));
  if (!file.ok()) return false;
  file.close();
  return ::DeleteFileW(probe.c_str()) != 0;
}

namespace platform {

bool IsFolder(std::string_view path) {
  const std::wstring wide = win::wide_path(path);
  if (wide.empty()) return false;
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The folders inherit the access of the user's profile they are made in.
OwnFolder MakePrivateFolders(std::string_view path) {
  const std::wstring full = win::wide_path(path);
  if (full.empty()) return OwnFolder::missing;
  for (std::size_t cut = full.find_first_of(L"\\/", 1); cut != std::wstring::npos;
       cut = full.find_first_of(L"\\/", cut + 1))
    ::CreateDirectoryW(full.substr(0, cut).c_str(), nullptr);
  ::CreateDirectoryW(full.c_str(), nullptr);
  return IsFolder(path) ? OwnFolder::ready : OwnFolder::missing;
}

}  // namespace platform
}  // namespace quill::shell
