// The folder copy's file-system pieces over the wide-character functions.
// Resolved paths are the final paths the system gives for an open handle, in
// UTF-8.
#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "base/codepage.h"
#include "base/win_file.h"
#include "generator/folder_copy_platform.h"

namespace quill::generator::copy_detail {
namespace {

std::wstring from_system(const SystemPath& path) {
  const std::u16string wide = utf8_to_utf16(path);
  return std::wstring(wide.begin(), wide.end());
}

// UTF-8 keeps every name exactly, GBK or not.
SystemPath to_system(const std::wstring& path) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, path.c_str(), static_cast<int>(path.size()), nullptr, 0,
                                         nullptr, nullptr);
  if (size <= 0) return {};
  SystemPath utf8(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, path.c_str(), static_cast<int>(path.size()), utf8.data(), size, nullptr,
                        nullptr);
  return utf8;
}

PathKind kind_of(const std::wstring& path) {
  const DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::missing;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return PathKind::link;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::folder;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return PathKind::special;
  return PathKind::file;
}

struct Named {
  std::u16string name;
  std::u16string upper;
  bool folder;
};

// By upper-cased name as NTFS orders, then by the name itself.
bool scan_before(const Named& a, const Named& b) {
  return a.upper != b.upper ? a.upper < b.upper : a.name < b.name;
}

// Streams in to out; the failing side, or copied.
FileCopy stream(HANDLE in, HANDLE out) {
  static constexpr DWORD kChunk = 64 * 1024;
  std::vector<char> buffer(kChunk);
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(in, buffer.data(), kChunk, &got, nullptr)) return FileCopy::unreadable;
    if (got == 0) return FileCopy::copied;
    for (DWORD done = 0; done < got;) {
      DWORD wrote = 0;
      if (!::WriteFile(out, buffer.data() + done, got - done, &wrote, nullptr) || wrote == 0)
        return FileCopy::unwritable;
      done += wrote;
    }
  }
}

}  // namespace

std::optional<std::vector<ListedEntry>> list_folder(std::string_view folder) {
  const std::wstring wide = win::wide_path(folder);
  if (wide.empty()) return std::nullopt;
  WIN32_FIND_DATAW found;
  HANDLE find =
      ::FindFirstFileExW((wide + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<Named> names;
  do {
    std::u16string name(reinterpret_cast<const char16_t*>(found.cFileName));
    if (name == u"." || name == u"..") continue;
    std::u16string upper = name;
    ::CharUpperBuffW(reinterpret_cast<wchar_t*>(upper.data()), static_cast<DWORD>(upper.size()));
    names.push_back(
        {std::move(name), std::move(upper), (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (::FindNextFileW(find, &found));
  ::FindClose(find);
  std::sort(names.begin(), names.end(), scan_before);
  std::vector<ListedEntry> entries;
  entries.reserve(names.size());
  for (const Named& named : names) {
    Text name = utf16_to_gbk(named.name);
    const bool fits = gbk_to_utf16(name) == named.name;
    entries.push_back({std::move(name), fits, named.folder});
  }
  return entries;
}

Resolved resolve(std::string_view path) {
  const std::wstring wide = win::wide_path(path);
  // Opening follows links; the handle's final path is where they lead.
  win::Handle handle(
      wide.empty() ? INVALID_HANDLE_VALUE
                   : ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle.ok()) return {"", kind_of(wide)};
  std::wstring real(32768, L'\0');
  const DWORD n = ::GetFinalPathNameByHandleW(handle.get(), real.data(), static_cast<DWORD>(real.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n == 0 || n >= real.size()) return {"", kind_of(wide)};
  real.resize(n);
  return {to_system(real), kind_of(real)};
}

PathKind kind_at(std::string_view path) { return kind_of(win::wide_path(path)); }

bool inside(const SystemPath& real, const SystemPath& root) {
  if (root.empty() || real.compare(0, root.size(), root) != 0) return false;
  return real.size() == root.size() || root.back() == '\\' || real[root.size()] == '\\';
}

FileCopy copy_file(const SystemPath& real_source, std::string_view target) {
  const std::wstring source = from_system(real_source);
  if (kind_of(source) != PathKind::file) return FileCopy::not_regular;
  win::Handle in(::CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!in.ok()) return FileCopy::unreadable;
  if (::GetFileType(in.get()) != FILE_TYPE_DISK) return FileCopy::not_regular;

  const std::wstring wide_target = win::creatable_path(target);
  if (wide_target.empty()) return FileCopy::unwritable;
  std::wstring temp;
  win::Handle out(win::create_temp_beside(wide_target, temp));
  if (!out.ok()) return FileCopy::unwritable;
  FileCopy result = stream(in.get(), out.get());
  if (result == FileCopy::copied && !::FlushFileBuffers(out.get())) result = FileCopy::unwritable;
  if (!out.close() && result == FileCopy::copied) result = FileCopy::unwritable;
  // The move replaces a link at target instead of following it.
  if (result == FileCopy::copied &&
      !::MoveFileExW(temp.c_str(), wide_target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    result = FileCopy::unwritable;
  if (result != FileCopy::copied) ::DeleteFileW(temp.c_str());
  return result;
}

}  // namespace quill::generator::copy_detail
