// The file layer over the wide-character functions: GBK paths become UTF-16 at
// each call, so the program does not depend on the machine's ANSI code page.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <set>
#include <vector>

#include "base/codepage.h"
#include "base/fs.h"
#include "base/fs_detail.h"
#include "base/win_file.h"

namespace quill {

std::wstring win::wide_path(std::string_view gbk_path) {
  if (gbk_path.empty() || gbk_path.find('\0') != std::string_view::npos) return {};
  std::u16string wide = gbk_to_utf16(gbk_path);
  if (utf16_to_gbk(wide) != gbk_path) return {};
  return std::wstring(wide.begin(), wide.end());
}

namespace {

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices whatever extension
// follows, and trailing spaces before the dot do not count.
bool names_device(std::wstring_view name) {
  std::wstring stem(name.substr(0, name.find(L'.')));
  while (!stem.empty() && stem.back() == L' ') stem.pop_back();
  if (stem.empty()) return false;
  ::CharUpperBuffW(stem.data(), static_cast<DWORD>(stem.size()));
  for (std::wstring_view device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"})
    if (stem == device) return true;
  const bool numbered = stem.size() == 4 && (stem.starts_with(L"COM") || stem.starts_with(L"LPT"));
  return numbered &&
         ((stem[3] >= L'1' && stem[3] <= L'9') || stem[3] == 0xB9 || stem[3] == 0xB2 || stem[3] == 0xB3);
}

// A name Windows would take for another file: a device, one it trims (a
// trailing dot or space), a stream ("a:b"), or characters no name may hold.
bool rewritten_by_windows(std::wstring_view name) {
  if (name == L"." || name == L"..") return false;
  if (name.back() == L'.' || name.back() == L' ') return true;
  for (wchar_t c : name)
    if (c < 0x20 || std::wstring_view(L"<>:\"|?*").find(c) != std::wstring_view::npos) return true;
  return names_device(name);
}

}  // namespace

std::wstring win::creatable_path(std::string_view gbk_path) {
  std::wstring wide = wide_path(gbk_path);
  std::size_t start = 0;
  if (wide.size() >= 2 && wide[1] == L':') start = 2;  // the drive
  while (start < wide.size()) {
    while (start < wide.size() && is_separator(wide[start])) ++start;
    std::size_t end = start;
    while (end < wide.size() && !is_separator(wide[end])) ++end;
    if (end > start && rewritten_by_windows(std::wstring_view(wide).substr(start, end - start))) return {};
    start = end;
  }
  return wide;
}

int win::errno_of(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
      return EINVAL;
    default:
      return static_cast<int>(error) + 10000;  // shown with its number
  }
}

namespace {

std::wstring folder_of(const std::wstring& path) {
  std::size_t cut = path.find_last_of(L"\\/");
  if (cut == std::wstring::npos) return L".";
  return cut == 0 ? path.substr(0, 1) : path.substr(0, cut);
}

// The pid in a name of the temporary pattern ".qm-<pid hex>-<n hex>.tmp", or 0.
DWORD temp_owner(const std::wstring& name) {
  unsigned long pid = 0, n = 0;
  wchar_t tail[8] = {};
  if (std::swscanf(name.c_str(), L".qm-%lx-%lx%7ls", &pid, &n, tail) != 3 || std::wstring(tail) != L".tmp")
    return 0;
  return static_cast<DWORD>(pid);
}

bool process_gone(DWORD pid) {
  HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) return ::GetLastError() == ERROR_INVALID_PARAMETER;
  DWORD code = 0;
  const bool gone = ::GetExitCodeProcess(process, &code) && code != STILL_ACTIVE;
  ::CloseHandle(process);
  return gone;
}

// Once per folder and process, so that many writes into one folder stay linear.
void remove_stale_temps(const std::wstring& folder) {
  static std::mutex mutex;
  static std::set<std::wstring> scanned;
  {
    std::lock_guard lock(mutex);
    if (!scanned.insert(folder).second) return;
  }
  WIN32_FIND_DATAW found;
  HANDLE find = ::FindFirstFileW((folder + L"\\.qm-*.tmp").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const DWORD owner = temp_owner(found.cFileName);
    if (owner != 0 && owner != ::GetCurrentProcessId() && process_gone(owner))
      ::DeleteFileW((folder + L"\\" + found.cFileName).c_str());
  } while (::FindNextFileW(find, &found));
  ::FindClose(find);
}

}  // namespace

HANDLE win::create_temp_beside(const std::wstring& target, std::wstring& temp_path) {
  static std::atomic<unsigned> counter{0};
  const std::wstring folder = folder_of(target);
  remove_stale_temps(folder);
  for (int attempt = 0; attempt < 100; ++attempt) {
    wchar_t name[64];
    std::swprintf(name, 64, L".qm-%lx-%x.tmp", static_cast<unsigned long>(::GetCurrentProcessId()),
                  counter++);
    temp_path = folder + L"\\" + name;
    HANDLE file = ::CreateFileW(temp_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  return INVALID_HANDLE_VALUE;
}

Text exe_directory() {
  std::wstring buffer(32768, L'\0');
  const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (n == 0 || n >= buffer.size()) return {};
  Text path = utf16_to_gbk(std::u16string(buffer.begin(), buffer.begin() + n));
  std::size_t cut = fs_detail::last_separator(path);
  if (cut == std::string_view::npos) return {};
  return path.substr(0, cut);
}

int fs_detail::read_whole(std::string_view path, Bytes& data) {
  data.clear();
  const std::wstring wide = win::wide_path(path);
  if (wide.empty()) return path.empty() ? ENOENT : EINVAL;
  win::Handle file(::CreateFileW(wide.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok()) return win::errno_of(::GetLastError());
  LARGE_INTEGER size{};
  if (::GetFileSizeEx(file.get(), &size) && size.QuadPart > 0 && size.QuadPart < (1LL << 31))
    data.reserve(static_cast<std::size_t>(size.QuadPart));
  std::uint8_t chunk[65536];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr)) {
      data.clear();
      return win::errno_of(::GetLastError());
    }
    if (got == 0) return 0;
    data.insert(data.end(), chunk, chunk + got);
  }
}

namespace {

// errno of the failure, 0 on success.
int write_fully(HANDLE file, const Bytes& part) {
  std::size_t done = 0;
  while (done < part.size()) {
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(part.size() - done, 1u << 20));
    DWORD wrote = 0;
    if (!::WriteFile(file, part.data() + done, want, &wrote, nullptr)) return win::errno_of(::GetLastError());
    if (wrote == 0) return ENOSPC;
    done += wrote;
  }
  return 0;
}

}  // namespace

namespace fs_detail {

std::u16string upper_utf16(std::string_view utf8) {
  std::u16string out = utf8_to_utf16(utf8);
  // The system's own simple up-casing: one unit for one unit.
  if (!out.empty()) ::CharUpperBuffW(reinterpret_cast<wchar_t*>(out.data()), static_cast<DWORD>(out.size()));
  return out;
}

namespace {

// The file itself, for a folder that refuses temporary files, as the settings
// functions write it: from the start, cut to the new size.
int write_in_place(const std::wstring& target, std::initializer_list<const Bytes*> parts) {
  win::Handle file(::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok()) return win::errno_of(::GetLastError());
  for (const Bytes* part : parts)
    if (part)
      if (int error = write_fully(file.get(), *part)) return error;
  if (!::SetEndOfFile(file.get()) || !::FlushFileBuffers(file.get())) return win::errno_of(::GetLastError());
  return file.close() ? 0 : win::errno_of(::GetLastError());
}

}  // namespace

// The access of a file follows its folder's on Windows: owner_only asks nothing more.
int write_parts(std::string_view path, std::initializer_list<const Bytes*> parts, WriteMode mode) {
  const std::wstring target = win::creatable_path(path);
  if (target.empty()) return EINVAL;
  const DWORD old = ::GetFileAttributesW(target.c_str());
  if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_DIRECTORY)) return EISDIR;
  if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY)) return EACCES;

  std::wstring temp;
  win::Handle file(win::create_temp_beside(target, temp));
  if (!file.ok()) {
    const DWORD refused = ::GetLastError();
    if (old != INVALID_FILE_ATTRIBUTES && mode.in_place_if_refused && refused == ERROR_ACCESS_DENIED)
      return write_in_place(target, parts);
    return win::errno_of(refused);
  }
  int error = 0;
  for (const Bytes* part : parts)
    if (!error && part) error = write_fully(file.get(), *part);
  if (!error && !::FlushFileBuffers(file.get())) error = win::errno_of(::GetLastError());
  if (!file.close() && !error) error = win::errno_of(::GetLastError());
  if (!error &&
      !::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    error = win::errno_of(::GetLastError());
  if (error) ::DeleteFileW(temp.c_str());
  return error;
}

}  // namespace fs_detail

bool dir_create(std::string_view path) {
  const std::wstring wide = win::creatable_path(path);
  return !wide.empty() && ::CreateDirectoryW(wide.c_str(), nullptr) != 0;
}

// ---- directory scan -----------------------------------------------------

namespace {

struct Listed {
  std::u16string name;
  std::u16string upper;
  unsigned attributes;
};

bool dot_entry(const std::u16string& name) { return name == u"." || name == u".."; }

// "." and ".." first, then by upper-cased name as NTFS keeps them; other file
// systems (and Wine over a Linux disk) list in any order.
bool ntfs_before(const Listed& a, const Listed& b) {
  bool a_dot = dot_entry(a.name), b_dot = dot_entry(b.name);
  if (a_dot != b_dot) return a_dot;
  if (a.upper != b.upper) return a.upper < b.upper;
  return a.name < b.name;
}

std::vector<Listed> entries_for(std::string_view pattern) {
  std::vector<Listed> listed;
  const std::wstring wide = win::wide_path(pattern);
  if (wide.empty()) return listed;
  WIN32_FIND_DATAW found;
  HANDLE find = ::FindFirstFileExW(wide.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return listed;
  do {
    std::u16string name(reinterpret_cast<const char16_t*>(found.cFileName));
    std::u16string upper = name;
    ::CharUpperBuffW(reinterpret_cast<wchar_t*>(upper.data()), static_cast<DWORD>(upper.size()));
    listed.push_back({std::move(name), std::move(upper), static_cast<unsigned>(found.dwFileAttributes)});
  } while (::FindNextFileW(find, &found));
  ::FindClose(find);
  std::sort(listed.begin(), listed.end(), ntfs_before);
  return listed;
}

}  // namespace

bool path_exists(std::string_view path) { return !entries_for(path).empty(); }

// All of them lie below 0x40, so none is ever the second byte of a GBK character.
Text refused_name_character(std::string_view name) {
  for (const char c : name)
    if (static_cast<unsigned char>(c) < 0x20 ||
        std::string_view("<>:\"|?*").find(c) != std::string_view::npos)
      return Text(1, c);
  return {};
}

bool path_taken(std::string_view path) {
  const std::wstring wide = win::wide_path(path);
  return !wide.empty() && ::GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<fs_detail::ScanEntry> fs_detail::scan_entries(std::string_view pattern) {
  std::vector<ScanEntry> entries;
  for (const Listed& item : entries_for(pattern))
    entries.push_back({utf16_to_gbk(item.name), item.attributes});
  return entries;
}

}  // namespace quill
