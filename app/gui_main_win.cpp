// quillmoor.exe: the window on Windows. The program folder is where the
// executable is; it becomes the current folder, as the templates and the
// settings file are named from it.
//   quillmoor.exe [--selftest FOLDER]

// windows.h comes before the headers that build on it.
// clang-format off
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
// clang-format on

#include <string>

#include "base/fatal.h"
#include "base/fs.h"
#include "shell/session.h"
#include "shell/win/main_window.h"
#include "shell/win/win_dialogs.h"

namespace {

void ShowFatalBox(const quill::Text& message, const quill::Text& caption) {
  ::MessageBoxW(nullptr, quill::shell::win::widen(message).c_str(), quill::shell::win::widen(caption).c_str(),
                MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

// The folder after "--selftest", "" without one.
quill::Text SelfTestFolder() {
  int count = 0;
  LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  quill::Text folder;
  for (int i = 1; arguments && i + 1 < count; ++i)
    if (std::wstring(arguments[i]) == L"--selftest") folder = quill::shell::win::narrow(arguments[i + 1]);
  ::LocalFree(arguments);
  return folder;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  quill::set_fatal_box(ShowFatalBox);
  const quill::Text program_dir = quill::exe_directory();
  ::SetCurrentDirectoryW(quill::shell::win::widen(program_dir).c_str());
  // The folder browser's new style needs the apartment's component services.
  const HRESULT com = ::OleInitialize(nullptr);
  int code = 0;
  {
    quill::shell::ProgramSession session = quill::shell::OpenProgramFolder(program_dir, quill::NoUiWaiter());
    code = quill::shell::win::RunMainWindow(session, {SelfTestFolder()});
  }
  if (SUCCEEDED(com)) ::OleUninitialize();
  return code;
}
