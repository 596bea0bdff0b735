#pragma once
// The few system calls behind the program folders; one implementation per
// platform (folders_posix.cpp). Paths are GBK texts.

#include <string_view>

namespace quill::shell::platform {

// True when path names a folder (following links, as the template scan does).
bool IsFolder(std::string_view path);
// Creates the folder and its missing parents, readable by the user alone (the
// settings file holds the secret); true when the folder is there afterwards.
bool MakePrivateFolders(std::string_view path);

}  // namespace quill::shell::platform
