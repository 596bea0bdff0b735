#pragma once
// The few system calls behind the program folders; one implementation per
// platform (folders_posix.cpp). Paths are GBK texts.

#include <string_view>

namespace quill::shell::platform {

// True when path names a folder (following links, as the template scan does).
bool IsFolder(std::string_view path);
// What a folder for the user's own files came to.
enum class OwnFolder { ready, missing, link, foreign };
// Creates the folder and its missing parents; the folder itself is made the
// user's alone (0700 on POSIX; an existing one of his is tightened), since the
// settings file in it holds the secret. A symbolic link, or a folder of another
// user, is left as it is and reported (link, foreign): nothing may go through it.
OwnFolder MakePrivateFolders(std::string_view path);

}  // namespace quill::shell::platform
