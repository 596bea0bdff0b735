#include "shell/gui/start_up.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QPixmap>
#include <QTimer>
#include <QTranslator>

#include "base/fatal.h"
#include "base/fs.h"
#include "shell/gui/dialogs.h"
#include "shell/gui/look.h"
#include "shell/gui/main_window.h"
#include "shell/gui/qt_text.h"
#include "shell/gui/quit_signals.h"
#include "shell/session.h"

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

}  // namespace

bool LoadQtTranslation() {
  static QTranslator translator;
  if (!translator.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    return false;
  return QCoreApplication::installTranslator(&translator);
}

int StartUp(int argc, char** argv) {
  install_out_of_memory_handler();
  QApplication app(argc, argv);
  // Menus and tooltips too, not only the window and its dialogs.
  QApplication::setFont(SongFont());
  set_fatal_box(show_fatal_box);
  const Text program_dir = exe_directory();
  QDir::setCurrent(from_gbk(program_dir));
  LoadQtTranslation();

  ProgramSession session = OpenProgramFolder(program_dir, NoUiWaiter());
  MainWindow window(session);
  const QuitSignals quit_signals(window, [&window] { window.quit(); });
  window.show();
  const QString screenshot = screenshot_file(QCoreApplication::arguments());
  if (!screenshot.isEmpty()) take_screenshot(window, screenshot);
  return app.exec();
}

}  // namespace quill::shell::gui
