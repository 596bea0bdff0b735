#pragma once
// Whole files, directories and the program's location. Paths are GBK texts in
// the program's own form; the folder separator is kPathSeparator ("/" on POSIX,
// "\" on Windows). The POSIX layer converts to UTF-8 at the system-call boundary.

#include <initializer_list>
#include <memory>
#include <string_view>

#include "base/convert.h"
#include "base/text.h"

namespace quill {

#ifdef _WIN32
inline constexpr std::string_view kPathSeparator = "\\";
#else
inline constexpr std::string_view kPathSeparator = "/";
#endif

// The running program's folder, without a trailing separator.
Text exe_directory();

// The whole file; empty Bytes on any failure (missing, unreadable, empty path).
Bytes file_read_all(std::string_view path);
// For read-modify-write: the whole file into out (empty when the file is missing)
// and true; false when the file exists but cannot be read, so that nothing
// overwrites what could not be read; why (when given) then gets the reason.
bool file_read_or_missing(std::string_view path, Bytes& out, Text* why = nullptr);
// Replaces the file's contents, atomically: the data goes
// to a temporary file in the same folder that is renamed over the target, so the
// old contents or the new ones survive a crash, never a mixture. An existing
// file keeps its permissions. False on an empty path or any failure (the old
// file is then untouched). Creates no folders. A path holding a NUL byte, or a
// name the file system cannot take, gives false; no name is ever cut short.
// Leftover temporary files of writers that were killed are removed from the
// folder by the next write into it.
// On false, why (when given) gets a short GBK reason (file_error_text).
bool file_write_all(std::string_view path, const Bytes& data, Text* why = nullptr);
// As file_write_all, for the one file that holds the user's secret and that
// Windows' settings functions would save wherever the file can be written: on
// POSIX it is readable and writable by its owner alone (0600, an existing file
// tightened as well); when the folder refuses the temporary file but the file
// itself may be written, it is written in place (not proof against a crash then).
bool file_write_private(std::string_view path, const Bytes& data, Text* why = nullptr);
// A short GBK reason for a failed file operation's errno, such as "没有写入权限"
// or "磁盘空间不足"; an errno without its own text gives one with the number.
Text file_error_text(int error);
// Creates exactly this one folder; false when it exists or its parent does not.
bool dir_create(std::string_view path);
// True when a file or folder matches; the last component may hold * and ?.
bool path_exists(std::string_view path);

// The first character of name that no file name on this system may hold, ""
// when there is none: on Windows < > : " | ? * and the control characters (its
// separators \ and / name folders), on POSIX none but the NUL byte.
Text refused_name_character(std::string_view name);

// True when anything is at exactly this path (no wildcards, links not followed).
bool path_taken(std::string_view path);

// File attribute bits as the directory scan reports them.
inline constexpr unsigned kAttrReadOnly = 0x01;
inline constexpr unsigned kAttrHidden = 0x02;
inline constexpr unsigned kAttrDirectory = 0x10;
inline constexpr unsigned kAttrArchive = 0x20;

// One directory enumeration owned by its caller.
class DirScanState {
 public:
  DirScanState();
  ~DirScanState();
  DirScanState(const DirScanState&) = delete;
  DirScanState& operator=(const DirScanState&) = delete;
  bool open() const;

  struct Impl;
  std::unique_ptr<Impl> impl;
};

// A non-empty pattern starts a new scan (closing any open one); an empty pattern
// continues. Returns the next entry name passing the filter (files_only: every
// non-directory; otherwise entries whose attributes intersect mask), "" at the end.
// Entries come "." and ".." first, then by name compared case-insensitively
// (upper-cased UTF-16), as NTFS delivers them.
Text dir_scan_next(std::string_view pattern, unsigned mask, bool files_only, DirScanState& state);
void dir_scan_close(DirScanState& state);

}  // namespace quill
