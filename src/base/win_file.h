#pragma once
// What the Windows islands of every module share: an owned handle, the UTF-16
// form of a GBK path, and the temporary file an atomic write starts from.
// Included only by *_win.cpp.

#include <windows.h>

#include <string>
#include <string_view>
#include <utility>

namespace quill::win {

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() { close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  // Closes now and tells whether the close succeeded.
  bool close() {
    HANDLE handle = std::exchange(handle_, INVALID_HANDLE_VALUE);
    return handle == INVALID_HANDLE_VALUE || handle == nullptr || ::CloseHandle(handle) != 0;
  }

 private:
  HANDLE handle_;
};

// The UTF-16 path for the wide functions; "" for an empty path, a NUL byte, or
// bytes that are no GBK text (they would name another file).
std::wstring wide_path(std::string_view gbk_path);
// The same for a file or folder about to be made; also "" when a name in it
// is one Windows would make into another file or a device ("CON.htm", "a.",
// "a:b"), so that two names never reach one file and nothing written goes unseen.
std::wstring creatable_path(std::string_view gbk_path);

// A fresh file beside target (a wide path), named ".qm-<pid>-<n>.tmp"; its path
// goes to temp_path. The first call for a folder removes the leftovers of
// writers that no longer run. An invalid handle and the last error on failure.
HANDLE create_temp_beside(const std::wstring& target, std::wstring& temp_path);

// errno for a system error code, so that failures read the same everywhere.
int errno_of(DWORD error);

}  // namespace quill::win
