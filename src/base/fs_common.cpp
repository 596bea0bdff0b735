// The platform-neutral parts of the file layer.
#include <cerrno>

#include "base/codepage.h"
#include "base/fs.h"
#include "base/fs_detail.h"

namespace quill {

Bytes file_read_all(std::string_view path) {
  Bytes data;
  fs_detail::read_whole(path, data);
  return data;
}

bool file_read_or_missing(std::string_view path, Bytes& out, Text* why) {
  int error = fs_detail::read_whole(path, out);
  if (error == 0 || error == ENOENT) return true;
  if (why) *why = file_error_text(error);
  return false;
}

bool file_write_all(std::string_view path, const Bytes& data, Text* why) {
  int error = fs_detail::write_parts(path, {&data});
  if (error && why) *why = file_error_text(error);
  return error == 0;
}

bool file_write_private(std::string_view path, const Bytes& data, Text* why) {
  int error = fs_detail::write_parts(path, {&data}, {.owner_only = true, .in_place_if_refused = true});
  if (error && why) *why = file_error_text(error);
  return error == 0;
}

Text file_error_text(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
      return "\xC3\xBB\xD3\xD0\xD0\xB4\xC8\xEB\xC8\xA8\xCF\xDE";  // 没有写入权限
    case ENOSPC:
#ifdef EDQUOT  // no quotas in the Windows C runtime
    case EDQUOT:
#endif
    case EFBIG:
      return "\xB4\xC5\xC5\xCC\xBF\xD5\xBC\xE4\xB2\xBB\xD7\xE3";  // 磁盘空间不足
    case ENAMETOOLONG:
      return "\xCE\xC4\xBC\xFE\xC3\xFB\xB9\xFD\xB3\xA4";  // 文件名过长
    case ENOENT:
    case ENOTDIR:
      return "\xCE\xC4\xBC\xFE\xBC\xD0\xB2\xBB\xB4\xE6\xD4\xDA";  // 文件夹不存在
    case EINVAL:
    case EISDIR:
      return "\xCE\xC4\xBC\xFE\xC3\xFB\xCE\xDE\xD0\xA7";  // 文件名无效
    default:
      // 写入失败，错误号 N
      return txt_join("\xD0\xB4\xC8\xEB\xCA\xA7\xB0\xDC\xA3\xAC\xB4\xED\xCE\xF3\xBA\xC5 ",
                      to_text(static_cast<std::int32_t>(error)));
  }
}

namespace fs_detail {

std::size_t last_separator(std::string_view path) {
  int at = txt_find_last(path, kPathSeparator);
  return at < 0 ? std::string_view::npos : static_cast<std::size_t>(at - 1);
}

bool has_wildcard(std::u16string_view name) { return name.find_first_of(u"*?") != std::u16string_view::npos; }

namespace {

bool match_from(std::u16string_view pattern, std::u16string_view name) {
  // Iterative glob with one back-tracking point for the last '*'.
  std::size_t p = 0, n = 0, star = std::u16string_view::npos, star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      star_n = n;
    } else if (star != std::u16string_view::npos) {
      p = star + 1;
      n = ++star_n;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

}  // namespace

bool wildcard_match(std::u16string_view pattern_upper, std::u16string_view name_upper) {
  // "*.*" is the everything pattern, also for names without a dot.
  if (pattern_upper == u"*.*") return true;
  return match_from(pattern_upper, name_upper);
}

}  // namespace fs_detail
// ---- directory scan -----------------------------------------------------

struct DirScanState::Impl {
  std::vector<fs_detail::ScanEntry> entries;
  std::size_t next = 0;
};

DirScanState::DirScanState() = default;
DirScanState::~DirScanState() = default;
bool DirScanState::open() const { return impl != nullptr; }

Text dir_scan_next(std::string_view pattern, unsigned mask, bool files_only, DirScanState& state) {
  if (!pattern.empty()) {
    dir_scan_close(state);
    std::vector<fs_detail::ScanEntry> entries = fs_detail::scan_entries(pattern);
    if (entries.empty()) return {};
    state.impl = std::make_unique<DirScanState::Impl>();
    state.impl->entries = std::move(entries);
  }
  if (!state.impl) return {};
  auto& entries = state.impl->entries;
  while (state.impl->next < entries.size()) {
    const auto& entry = entries[state.impl->next++];
    bool is_dir = entry.attributes & kAttrDirectory;
    if (files_only ? !is_dir : (entry.attributes & mask) != 0) return entry.name;
  }
  dir_scan_close(state);
  return {};
}

void dir_scan_close(DirScanState& state) { state.impl.reset(); }

}  // namespace quill
