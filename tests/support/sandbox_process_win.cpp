// Under Wine a Windows program can start a Linux one: CreateProcess runs an
// ELF file as it is. Its process handle and exit code mean nothing and it
// cannot be terminated, so it runs on a lease: a locked file that Wine turns
// into a POSIX lock, which the sandbox watches and which ends with the test.

#include <windows.h>

#include <algorithm>

#include "support/folder_changes.h"
#include "support/sandbox_process.h"

namespace quill::testing {

namespace {

namespace fs = std::filesystem;

// Wine's own conversions; both are missing on a real Windows.
using ToUnix = char*(CDECL*)(const wchar_t*);
using ToDos = wchar_t*(CDECL*)(const char*);

template <typename Function>
Function wine_function(const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), name)));
}

// The Linux name of an existing Windows path; "" when there is none.
std::string unix_name(const fs::path& path) {
  static const auto to_unix = wine_function<ToUnix>("wine_get_unix_file_name");
  char* name = to_unix ? to_unix(path.wstring().c_str()) : nullptr;
  if (!name) return "";
  std::string result = name;
  ::HeapFree(::GetProcessHeap(), 0, name);
  return result;
}

// The Windows name of a Linux path; "" when there is none.
std::wstring dos_name(const std::string& path) {
  static const auto to_dos = wine_function<ToDos>("wine_get_dos_file_name");
  wchar_t* name = to_dos ? to_dos(path.c_str()) : nullptr;
  if (!name) return L"";
  std::wstring result = name;
  ::HeapFree(::GetProcessHeap(), 0, name);
  return result;
}

std::wstring wide(const std::string& utf8) {
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), size);
  return out;
}

// One argument as the command line parser (Wine's too) reads it back.
std::wstring quoted(const std::wstring& argument) {
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(2 * backslashes, L'\\');
  return out + L"\"";
}

// A file locked on its first byte until the handle is closed; INVALID_HANDLE_VALUE when that fails.
HANDLE take_lease(const fs::path& path) {
  HANDLE file = ::CreateFileW(path.wstring().c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return file;
  OVERLAPPED first_byte{};
  if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &first_byte)) {
    ::CloseHandle(file);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

// Starts the command line with the sandbox's output in stdout_path; false when it cannot.
bool launch(std::wstring command_line, const fs::path& stdout_path) {
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  HANDLE out = ::CreateFileW(stdout_path.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             &inherited, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return false;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out;
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION started{};
  const bool ok = ::CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                   nullptr, nullptr, &startup, &started);
  ::CloseHandle(out);
  if (!ok) return false;
  ::CloseHandle(started.hThread);
  ::CloseHandle(started.hProcess);
  return true;
}

}  // namespace

FolderChanges::FolderChanges(const fs::path& folder) {
  const HANDLE watch = ::FindFirstChangeNotificationW(
      folder.wstring().c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE);
  if (watch != INVALID_HANDLE_VALUE) handle_ = reinterpret_cast<std::intptr_t>(watch);
}

FolderChanges::~FolderChanges() {
  if (handle_ != -1) ::FindCloseChangeNotification(reinterpret_cast<HANDLE>(handle_));
}

bool FolderChanges::wait(std::chrono::milliseconds wait) {
  const auto watch = reinterpret_cast<HANDLE>(handle_);
  if (handle_ == -1 || ::WaitForSingleObject(watch, static_cast<DWORD>(wait.count())) != WAIT_OBJECT_0)
    return false;
  return ::FindNextChangeNotification(watch) != 0;
}

bool SandboxProcess::available() {
  return *QUILL_SANDBOX_PATH && !dos_name(QUILL_SANDBOX_PATH).empty() &&
         !unix_name(fs::current_path()).empty();
}

SandboxProcess::SandboxProcess(std::vector<std::string> options) {
  const std::string folder = unix_name(folder_.path());
  const std::wstring program = dos_name(QUILL_SANDBOX_PATH);
  if (folder.empty() || program.empty()) return;
  HANDLE lease = take_lease(folder_ / "lease");
  if (lease == INVALID_HANDLE_VALUE) return;
  lease_ = reinterpret_cast<std::intptr_t>(lease);

  std::vector<std::string> args{
      "--port",         "0", "--port-file", folder + "/port", "--log", folder + "/log.jsonl", "--lease-file",
      folder + "/lease"};
  tls_ = std::find(options.begin(), options.end(), "--tls") != options.end();
  if (tls_ && std::find(options.begin(), options.end(), "--cert-file") == options.end())
    options.insert(options.end(), {"--cert-file", folder + "/cert.pem"});
  for (std::size_t i = 0; i < options.size(); ++i) {
    // The test names its own certificate file the Windows way; the sandbox needs the Linux name.
    const bool windows_path =
        i > 0 && options[i - 1] == "--cert-file" && options[i].find('\\') != std::string::npos;
    if (!windows_path) {
      args.push_back(options[i]);
      continue;
    }
    const fs::path path = utf8_path(options[i]);
    const std::string parent = unix_name(path.parent_path());
    if (parent.empty()) return;
    const std::u8string name = path.filename().u8string();
    args.push_back(parent + "/" + std::string(name.begin(), name.end()));
  }
  std::wstring command_line = quoted(program);
  for (const std::string& a : args) command_line += L" " + quoted(wide(a));
  if (!launch(std::move(command_line), folder_ / "stdout")) return;
  port_ = WaitForAnnouncedPort(folder_ / "port");
}

// Letting go of the lease ends the sandbox within a twentieth of a second.
SandboxProcess::~SandboxProcess() {
  if (lease_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(lease_));
}

}  // namespace quill::testing
