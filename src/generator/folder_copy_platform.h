#pragma once
// The file-system pieces of the folder copy that the base layer does not offer,
// one implementation per platform (folder_copy_posix.cpp, folder_copy_win.cpp).
// Paths of the program are GBK texts; resolved paths stay in the system's form.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"

namespace quill::generator::copy_detail {

using SystemPath = std::string;

// What a path names, links not followed.
enum class PathKind { missing, file, folder, link, special };

struct ListedEntry {
  Text name;       // GBK; substitutes where GBK cannot hold the on-disk name
  bool name_fits;  // false when name is not the on-disk name
  bool folder;     // leads to a folder (links followed)
};
// The entries of folder without "." and "..", ordered as the directory scan
// orders them; nullopt when the folder cannot be read.
std::optional<std::vector<ListedEntry>> list_folder(std::string_view folder);

struct Resolved {
  SystemPath real;  // "" when the path cannot be resolved (a dangling link, a vanished entry)
  PathKind kind;    // of real; of the path itself when real is ""
};
Resolved resolve(std::string_view path);
PathKind kind_at(std::string_view path);
// True when real is root or lies below it (both resolved).
bool inside(const SystemPath& real, const SystemPath& root);

enum class FileCopy { copied, not_regular, unreadable, unwritable };
// Copies the regular file at real_source to target through a temporary file
// renamed over it, so a link at target is replaced, never written through, and
// a failure leaves target as it was. The source is opened without following a
// link or waiting on a FIFO, and copied only when the open descriptor is a
// regular file.
FileCopy copy_file(const SystemPath& real_source, std::string_view target);

}  // namespace quill::generator::copy_detail
