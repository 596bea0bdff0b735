#pragma once
// A throw-away program folder for one window test: templates, settings file.

#include <QDir>
#include <QFile>
#include <QString>
#include <QTest>
#include <memory>

#include "base/codepage.h"
#include "base/ini.h"
#include "shell/gui/main_window.h"
#include "shell/gui/qt_text.h"
#include "support/scratch_folder.h"

namespace quill::shell::gui::testing {

class ProgramFolder {
 public:
  Text path() const { return dir.gbk_path(); }
  QString qpath(const QString& relative = {}) const {
    const QString root = QString::fromStdString(dir.path().string());
    return relative.isEmpty() ? root : root + "/" + relative;
  }

  // A template folder; with page, its page file in GBK.
  void add_template(const QString& name, const QString& page = {}) {
    QVERIFY(QDir(dir.path()).mkpath("模板/" + name));
    if (!page.isEmpty()) write_gbk("模板/" + name + "/模板文件.htm", page);
  }

  // The settings file as Windows writes it: GBK, CR LF.
  void write_settings(const QStringList& lines) { write_gbk("Quillbatch.ini", lines.join("\r\n") + "\r\n"); }

  void write_gbk(const QString& relative, const QString& text) {
    QFile file(qpath(relative));
    QVERIFY(file.open(QIODevice::WriteOnly));
    const Text bytes = to_gbk(text);
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
  }

  QString read_gbk(const QString& relative) const {
    QFile file(qpath(relative));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = file.readAll();
    return from_gbk(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
  }

  // A window over this folder as the program opens it at start.
  std::unique_ptr<MainWindow> open_window() {
    session = OpenProgramFolder(path(), NoUiWaiter());
    return std::make_unique<MainWindow>(session);
  }

  quill::testing::ScratchFolder dir;
  ProgramSession session;
};

template <typename T>
T* control(QWidget& window, const char* name) {
  T* found = window.findChild<T*>(QString::fromUtf8(name));
  if (!found) qWarning("no control %s", name);
  return found;
}

}  // namespace quill::shell::gui::testing
