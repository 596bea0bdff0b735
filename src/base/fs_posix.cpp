// The file layer over POSIX: GBK paths become UTF-8 at each system call.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unicode/uchar.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/codepage.h"
#include "base/fs.h"
#include "base/fs_detail.h"
#include "base/posix_file.h"

namespace quill {
namespace {

std::string to_system(std::string_view path) { return gbk_to_utf8(path); }

// errno of the failure, 0 on success.
int write_fully(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return ENOSPC;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

struct PathParts {
  std::string folder;  // "." when the path has none, "/" for the root
  std::string last;
};

// A UTF-8 system path cut at its last "/".
PathParts split_last(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// A symbolic link is written through, as opening it for writing would.
std::string resolve_target(const std::string& path) {
  struct stat link {};
  if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return path;
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// Temporary files are ".qm-<pid>-<n>.tmp" in hex: short enough beside any name
// the folder can hold, and the pid tells whether their writer is still alive.
constexpr std::string_view kTempPrefix = ".qm-";
constexpr std::string_view kTempSuffix = ".tmp";

std::string temp_name(unsigned n) {
  char name[64];
  std::snprintf(name, sizeof name, ".qm-%lx-%x.tmp", static_cast<unsigned long>(::getpid()), n);
  return name;
}

// The pid in a name of our temporary pattern, or 0.
pid_t temp_owner(std::string_view name) {
  if (name.size() <= kTempPrefix.size() + kTempSuffix.size() ||
      name.substr(0, kTempPrefix.size()) != kTempPrefix ||
      name.substr(name.size() - kTempSuffix.size()) != kTempSuffix)
    return 0;
  std::string_view middle =
      name.substr(kTempPrefix.size(), name.size() - kTempPrefix.size() - kTempSuffix.size());
  std::size_t dash = middle.find('-');
  if (dash == 0 || dash == std::string_view::npos || dash > 8 || dash + 1 == middle.size()) return 0;
  auto hex = [](std::string_view digits) {
    return std::all_of(digits.begin(), digits.end(),
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
  };
  if (!hex(middle.substr(0, dash)) || !hex(middle.substr(dash + 1))) return 0;
  return static_cast<pid_t>(std::strtoul(std::string(middle.substr(0, dash)).c_str(), nullptr, 16));
}

// Removes the temporary files of writers that no longer run, once per folder
// and process, so that writing many files into one folder stays linear.
void remove_stale_temps(const std::string& folder) {
  static std::mutex mutex;
  static std::unordered_set<std::string> scanned;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!scanned.insert(folder).second) return;
  }
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  while (dirent* entry = ::readdir(dir)) {
    pid_t owner = temp_owner(entry->d_name);
    if (owner <= 0 || owner == ::getpid()) continue;
    if (::kill(owner, 0) != 0 && errno == ESRCH) ::unlinkat(::dirfd(dir), entry->d_name, 0);
  }
  ::closedir(dir);
}

}  // namespace

int posix::create_temp_beside(const std::string& target, std::string& temp_path) {
  static std::atomic<unsigned> counter{0};
  PathParts parts = split_last(target);
  remove_stale_temps(parts.folder);
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_path = parts.folder + "/" + temp_name(counter++);
    int fd = ::open(temp_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

Text exe_directory() {
  char buffer[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
  if (n <= 0) return {};
  Text path = utf8_to_gbk(std::string_view(buffer, static_cast<std::size_t>(n)));
  std::size_t cut = fs_detail::last_separator(path);
  if (cut == std::string_view::npos) return {};
  return path.substr(0, cut == 0 ? 1 : cut);
}

int fs_detail::read_whole(std::string_view path, Bytes& data) {
  data.clear();
  if (path.empty()) return ENOENT;
  posix::Fd fd(::open(to_system(path).c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.ok()) return errno;
  struct stat info {};
  if (::fstat(fd.get(), &info) == 0 && info.st_size > 0) data.reserve(static_cast<std::size_t>(info.st_size));
  std::uint8_t chunk[65536];
  for (;;) {
    ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int error = errno;
      data.clear();
      return error;
    }
    if (n == 0) return 0;
    data.insert(data.end(), chunk, chunk + n);
  }
}

namespace fs_detail {

std::u16string upper_utf16(std::string_view utf8) {
  std::u16string out = utf8_to_utf16(utf8);
  // Unit by unit, like the file system's own up-case table: no length changes.
  for (char16_t& unit : out) unit = static_cast<char16_t>(u_toupper(unit));
  return out;
}

namespace {

// The file itself, opened without creating or following anything: for a folder
// that refuses temporary files. Written from the start and cut to the new size,
// so a shorter text leaves no tail of the old one.
int write_in_place(const std::string& target, std::initializer_list<const Bytes*> parts, WriteMode mode) {
  posix::Fd fd(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd.ok()) return errno;
  if (mode.owner_only && ::fchmod(fd.get(), 0600) != 0) return errno;
  off_t size = 0;
  for (const Bytes* part : parts) {
    if (!part || part->empty()) continue;
    if (int error = write_fully(fd.get(), part->data(), part->size())) return error;
    size += static_cast<off_t>(part->size());
  }
  if (::ftruncate(fd.get(), size) != 0 || ::fsync(fd.get()) != 0) return errno;
  return fd.close() ? 0 : errno;
}

}  // namespace

int write_parts(std::string_view path, std::initializer_list<const Bytes*> parts, WriteMode mode) {
  // A NUL would end the system's copy of the name early: another file.
  if (path.empty() || path.find('\0') != std::string_view::npos) return EINVAL;
  std::string target = resolve_target(to_system(path));
  struct stat old {};
  bool exists = ::stat(target.c_str(), &old) == 0;
  // A file that may not be written stays as it is, as opening it would fail.
  if (exists && !S_ISREG(old.st_mode)) return EISDIR;
  if (exists && ::access(target.c_str(), W_OK) != 0) return errno;

  std::string temp;
  posix::Fd fd(posix::create_temp_beside(target, temp));
  if (!fd.ok()) {
    const int refused = errno;
    if (exists && mode.in_place_if_refused && (refused == EACCES || refused == EPERM))
      return write_in_place(target, parts, mode);
    return refused;
  }
  // Set before any byte is written, so the data is never readable by others.
  const bool set_mode = mode.owner_only || exists;
  const mode_t file_mode = mode.owner_only ? 0600 : old.st_mode & 07777;
  int error = set_mode && ::fchmod(fd.get(), file_mode) != 0 ? errno : 0;
  // Best effort: only a privileged process may hand the file back to its owner.
  if (!error && exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) [[maybe_unused]]
    int ignored = ::fchown(fd.get(), old.st_uid, old.st_gid);
  for (const Bytes* part : parts)
    if (!error && part && !part->empty()) error = write_fully(fd.get(), part->data(), part->size());
  if (!error && ::fsync(fd.get()) != 0) error = errno;
  if (!fd.close() && !error) error = errno;
  if (!error && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error) ::unlink(temp.c_str());
  // The folder is not synced: a crash may then keep the old file, which is
  // allowed, and a sync per page would halve the speed of a large run.
  return error;
}

}  // namespace fs_detail

bool dir_create(std::string_view path) {
  if (path.empty()) return false;
  return ::mkdir(to_system(path).c_str(), 0777) == 0;
}

// ---- directory scan -----------------------------------------------------

namespace {

struct Listed {
  std::string name;  // UTF-8 as on disk
  std::u16string upper;
};

unsigned attributes_of(const std::string& folder, const std::string& name) {
  std::string full = folder == "/" ? "/" + name : folder + "/" + name;
  struct stat info {};
  // stat follows a link, so a link to a folder counts as a folder; a dangling
  // link is described by lstat.
  if (::stat(full.c_str(), &info) != 0 && ::lstat(full.c_str(), &info) != 0) return kAttrArchive;
  unsigned attributes = S_ISDIR(info.st_mode) ? kAttrDirectory : kAttrArchive;
  if ((info.st_mode & 0222) == 0) attributes |= kAttrReadOnly;
  if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= kAttrHidden;
  return attributes;
}

bool dot_entry(const std::string& name) { return name == "." || name == ".."; }

// "." and ".." first, then by upper-cased UTF-16, ordinal; equal names (possible
// on a case-sensitive disk) by their bytes so that the order is always the same.
bool ntfs_before(const Listed& a, const Listed& b) {
  bool a_dot = dot_entry(a.name), b_dot = dot_entry(b.name);
  if (a_dot != b_dot) return a_dot;
  if (a.upper != b.upper) return a.upper < b.upper;
  return a.name < b.name;
}

// All entries of folder whose names match the wildcard pattern, in NTFS order.
std::vector<Listed> list_matching(const std::string& folder, const std::u16string& pattern_upper) {
  std::vector<Listed> listed;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return listed;
  while (dirent* entry = ::readdir(dir)) {
    Listed item{entry->d_name, fs_detail::upper_utf16(entry->d_name)};
    if (fs_detail::wildcard_match(pattern_upper, item.upper)) listed.push_back(std::move(item));
  }
  ::closedir(dir);
  std::sort(listed.begin(), listed.end(), ntfs_before);
  return listed;
}

// Entries matching a pattern whose last component holds wildcards, or the one
// entry the path names.
std::vector<Listed> entries_for(std::string_view pattern, std::string& folder) {
  std::string full = to_system(pattern);
  PathParts split = split_last(full);
  folder = split.folder;
  std::u16string last_upper = fs_detail::upper_utf16(split.last);
  if (fs_detail::has_wildcard(last_upper)) return list_matching(split.folder, last_upper);
  struct stat info {};
  if (split.last.empty() || ::lstat(full.c_str(), &info) != 0) return {};
  return {Listed{split.last, last_upper}};
}

}  // namespace

bool path_exists(std::string_view path) {
  if (path.empty()) return false;
  std::string folder;
  return !entries_for(path, folder).empty();
}

Text refused_name_character(std::string_view name) {
  return name.find('\0') == std::string_view::npos ? Text() : Text(1, '\0');
}

bool path_taken(std::string_view path) {
  if (path.empty() || path.find('\0') != std::string_view::npos) return false;
  struct stat info {};
  return ::lstat(to_system(path).c_str(), &info) == 0;
}

std::vector<fs_detail::ScanEntry> fs_detail::scan_entries(std::string_view pattern) {
  std::string folder;
  std::vector<ScanEntry> entries;
  for (const Listed& item : entries_for(pattern, folder))
    entries.push_back({utf8_to_gbk(item.name), attributes_of(folder, item.name)});
  return entries;
}

}  // namespace quill
