#pragma once
// Helpers shared by the platform files of the file layer; not part of its interface.

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "base/convert.h"
#include "base/text.h"

namespace quill::fs_detail {

// 0-based index of the last separator (character-aware), npos when none.
std::size_t last_separator(std::string_view path);
// A UTF-8 name as NTFS compares it: UTF-16 with each unit upper-cased. Invalid
// UTF-8 becomes U+FFFD.
std::u16string upper_utf16(std::string_view utf8);
bool has_wildcard(std::u16string_view name);
// * and ? over upper-cased names; "*.*" matches every name.
bool wildcard_match(std::u16string_view pattern_upper, std::u16string_view name_upper);
// The entries a scan pattern matches (a folder's wildcard listing, or the one
// entry a plain path names), in the order the scan gives them.
struct ScanEntry {
  Text name;
  unsigned attributes;
};
std::vector<ScanEntry> scan_entries(std::string_view pattern);
// The platform's whole-file read into data: errno of the failure (ENOENT when
// nothing is there), 0 on success.
int read_whole(std::string_view path, Bytes& data);
// How a whole-file write treats the file's access and a folder that refuses it.
struct WriteMode {
  bool owner_only = false;           // POSIX mode 0600, an existing file tightened
  bool in_place_if_refused = false;  // an existing file written in place when no temporary file may be made
};
// The platform's atomic whole-file write: errno of the failure, 0 on success.
int write_parts(std::string_view path, std::initializer_list<const Bytes*> parts, WriteMode mode = {});

}  // namespace quill::fs_detail
