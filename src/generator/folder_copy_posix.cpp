#include "generator/folder_copy_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <utility>

#include "base/codepage.h"
#include "base/fs_detail.h"
#include "base/posix_file.h"

namespace quill::generator::copy_detail {
namespace {

PathKind kind_of(const std::string& system_path) {
  struct stat info {};
  if (::lstat(system_path.c_str(), &info) != 0) return PathKind::missing;
  if (S_ISREG(info.st_mode)) return PathKind::file;
  if (S_ISDIR(info.st_mode)) return PathKind::folder;
  if (S_ISLNK(info.st_mode)) return PathKind::link;
  return PathKind::special;
}

bool leads_to_folder(const std::string& system_path) {
  struct stat info {};
  return ::stat(system_path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

struct Named {
  std::string name;  // as on disk
  std::u16string upper;
};

// "." and ".." never come here; by upper-cased UTF-16 as NTFS orders, then by bytes.
bool scan_before(const Named& a, const Named& b) {
  return a.upper != b.upper ? a.upper < b.upper : a.name < b.name;
}

struct CloseDir {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

std::optional<std::vector<Named>> read_names(const std::string& folder) {
  std::unique_ptr<DIR, CloseDir> dir(::opendir(folder.c_str()));
  if (!dir) return std::nullopt;
  std::vector<Named> names;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back({name, fs_detail::upper_utf16(name)});
  }
  std::sort(names.begin(), names.end(), scan_before);
  return names;
}

bool write_fully(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Streams in to out; the failing side, or copied.
FileCopy stream(int in, int out) {
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t got = ::read(in, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return FileCopy::unreadable;
    if (got == 0) return FileCopy::copied;
    if (!write_fully(out, buffer, static_cast<std::size_t>(got))) return FileCopy::unwritable;
  }
}

}  // namespace

std::optional<std::vector<ListedEntry>> list_folder(std::string_view folder) {
  const std::string system_folder = gbk_to_utf8(folder);
  const auto names = read_names(system_folder);
  if (!names) return std::nullopt;
  std::vector<ListedEntry> entries;
  entries.reserve(names->size());
  for (const Named& named : *names) {
    Text name = utf8_to_gbk(named.name);
    const bool fits = gbk_to_utf8(name) == named.name;
    entries.push_back({std::move(name), fits, leads_to_folder(system_folder + "/" + named.name)});
  }
  return entries;
}

Resolved resolve(std::string_view path) {
  const std::string system_path = gbk_to_utf8(path);
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(system_path.c_str(), nullptr), &std::free);
  if (!real) return {"", kind_of(system_path)};
  return {real.get(), kind_of(real.get())};
}

PathKind kind_at(std::string_view path) { return kind_of(gbk_to_utf8(path)); }

bool inside(const SystemPath& real, const SystemPath& root) {
  if (root.empty() || real.compare(0, root.size(), root) != 0) return false;
  return real.size() == root.size() || root.back() == '/' || real[root.size()] == '/';
}

FileCopy copy_file(const SystemPath& real_source, std::string_view target) {
  // O_NONBLOCK: an entry swapped for a FIFO since it was checked opens at once.
  posix::Fd in(::open(real_source.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!in.ok()) return errno == ELOOP ? FileCopy::not_regular : FileCopy::unreadable;
  struct stat info {};
  if (::fstat(in.get(), &info) != 0) return FileCopy::unreadable;
  if (!S_ISREG(info.st_mode)) return FileCopy::not_regular;

  const std::string system_target = gbk_to_utf8(target);
  std::string temp;
  posix::Fd out(posix::create_temp_beside(system_target, temp));
  if (!out.ok()) return FileCopy::unwritable;
  FileCopy result = stream(in.get(), out.get());
  if (result == FileCopy::copied && ::fsync(out.get()) != 0) result = FileCopy::unwritable;
  if (!out.close() && result == FileCopy::copied) result = FileCopy::unwritable;
  // rename replaces a link at target instead of following it.
  if (result == FileCopy::copied && ::rename(temp.c_str(), system_target.c_str()) != 0)
    result = FileCopy::unwritable;
  if (result != FileCopy::copied) ::unlink(temp.c_str());
  return result;
}

}  // namespace quill::generator::copy_detail
