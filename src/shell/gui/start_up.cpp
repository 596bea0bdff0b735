#include "shell/gui/start_up.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QPixmap>
#include <QTimer>
#include <QTranslator>
#include <cstdio>

#include "base/fatal.h"
#include "base/fs.h"
#include "shell/gui/dialogs.h"
#include "shell/gui/look.h"
#include "shell/gui/main_window.h"
#include "shell/gui/qt_text.h"
#include "shell/gui/quit_signals.h"
#include "shell/session.h"
#include "shell/window_texts.h"

namespace quill::shell::gui {
namespace {

QString screenshot_file(const QStringList& arguments) {
  const qsizetype at = arguments.indexOf(QStringLiteral("--screenshot"));
  return at >= 0 && at + 1 < arguments.size() ? arguments[at + 1] : QString();
}

// Once the window has been painted: picture, then close as the user would.
void take_screenshot(MainWindow& window, const QString& file) {
  QTimer::singleShot(0, &window, [&window, file] {
    QApplication::processEvents();
    window.grab().save(file, "PNG");
    window.close();
  });
}

// A fatal error's box, drawn by the window's own message box.
void show_fatal_box(const Text& message, const Text& caption) {
  run_message_box(message, BoxIcon::error, caption);
}

// Qt aborts when its platform has no display; say instead how to see the window.
bool DisplayMissing() {
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  const bool needs_display =
      platform.isEmpty() || platform.startsWith("xcb") || platform.startsWith("wayland");
  return needs_display && qEnvironmentVariableIsEmpty("DISPLAY") &&
         qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
  return false;
#endif
}

constexpr char kNoDisplayText[] =
    "quillmoor: no display: DISPLAY and WAYLAND_DISPLAY are not set, so the window has nowhere to appear.\n"
    "To see the window, choose one:\n"
    "  - start quillmoor from a terminal or the menu of your desktop session;\n"
    "  - from a machine with an X server (a Linux desktop, XQuartz, VcXsrv): ssh -X this-host, then "
    "quillmoor;\n"
    "  - QT_QPA_PLATFORM=vnc quillmoor: the window is served over VNC on port 5900 (package "
    "qt6-qpa-plugins),\n"
    "    no password, on every network interface; connect a VNC viewer to this-host:5900, or tunnel it:\n"
    "    ssh -L 5900:127.0.0.1:5900 this-host, then a viewer at localhost:5900. Ctrl-C ends it;\n"
    "  - QT_QPA_PLATFORM=offscreen quillmoor --screenshot FILE.png: the window draws itself once into\n"
    "    FILE.png and closes.\n";

}  // namespace

bool LoadQtTranslation() {
  static QTranslator translator;
  if (!translator.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    return false;
  return QCoreApplication::installTranslator(&translator);
}

int StartUp(int argc, char** argv) {
  if (DisplayMissing()) {
    std::fputs(kNoDisplayText, stderr);
    return 1;
  }
  install_out_of_memory_handler();
  QApplication app(argc, argv);
  // Menus and tooltips too, not only the window and its dialogs.
  QApplication::setFont(SongFont());
  set_fatal_box(show_fatal_box);
  const Text program_dir = exe_directory();
  QDir::setCurrent(from_gbk(program_dir));
  LoadQtTranslation();

  ProgramSession session = OpenProgramFolder(program_dir, NoUiWaiter());
  if (!session.refused.empty()) {
    run_message_box(session.refused, BoxIcon::error, InfoCaption());
    return 1;
  }
  MainWindow window(session);
  const QuitSignals quit_signals(window, [&window] { window.quit(); });
  window.show();
  const QString screenshot = screenshot_file(QCoreApplication::arguments());
  if (!screenshot.isEmpty()) take_screenshot(window, screenshot);
  return app.exec();
}

}  // namespace quill::shell::gui
