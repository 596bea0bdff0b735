// Clicks on "生成" against the local sandbox gateway.

#include <QApplication>
#include <QDirIterator>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "program_folder.h"
#include "shell/gui/dialogs.h"
#include "support/sandbox_process.h"

using namespace quill;
using namespace quill::shell;
using namespace quill::shell::gui;
using namespace quill::shell::gui::testing;
using quill::testing::SandboxProcess;

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

const char kPage[] =
    "<html><head><title>[#关键词#]</title></head><body>\n"
    "[#商品循环开始#]<p><a href=\"[#商品网址#]\">[#商品标题#]</a> [#商品价格#]</p>\n[#商品循环结束#]"
    "</body></html>\n";

// Every file under the save folder, relative.
QStringList saved_files(const ProgramFolder& folder) {
  QStringList files;
  QDirIterator it(folder.qpath("out"), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext()) files << QDir(folder.qpath("out")).relativeFilePath(it.next());
  files.sort();
  return files;
}

}  // namespace

class RunTest : public QObject {
  Q_OBJECT

  // A program folder with one template, the gateway (the sandbox when given),
  // save folder "out".
  void prepare(ProgramFolder& folder, const SandboxProcess& sandbox, const QString& keywords) {
    if (!sandbox.running()) QSKIP("the sandbox gateway is not available");
    prepare(folder, QString::fromStdString(sandbox.gateway()), keywords);
  }

  void prepare(ProgramFolder& folder, const QString& gateway, const QString& keywords) {
    folder.add_template("T", u(kPage));
    QVERIFY(QDir(folder.qpath()).mkpath("out"));
    folder.write_settings({u("[通常配置]"), u("关键词=") + keywords, u("保存目录=") + folder.qpath("out"),
                           u("[网络]"), u("网关=") + gateway});
  }

 private slots:
  void initTestCase() { next_answer::set_unattended(true); }
  void init() { clear_answered_dialogs(); }

  void generate_writes_the_pages() {
    ProgramFolder folder;
    SandboxProcess sandbox;
    prepare(folder, sandbox, u("连衣裙┊*┊毛衣,手机"));
    auto window = folder.open_window();
    QTest::mouseClick(control<QPushButton>(*window, "按钮生成"), Qt::LeftButton);
    QCOMPARE(window->windowTitle(), u("Quillmoor"));
    QVERIFY(control<QPushButton>(*window, "按钮生成")->isEnabled());
    const QStringList files = saved_files(folder);
    QVERIFY2(files.contains(u("连衣裙.htm")), qPrintable(files.join(",")));
    QVERIFY2(files.contains(u("毛衣,手机.htm")), qPrintable(files.join(",")));
    const QString page = folder.read_gbk("out/连衣裙.htm");
    QVERIFY(page.startsWith(u("<html><head><title>连衣裙</title>")));
    QVERIFY(page.contains(u("<p><a href=\"http")));
    QVERIFY(page.endsWith(u("</body></html>\n")));
    QVERIFY(answered_dialogs().empty());  // a run without problems ends silently
  }

  // A keystroke during the run must not land in an edit box, and a second click
  // must not start a second run.
  void generate_is_disabled_while_running_and_keeps_the_focus() {
    ProgramFolder folder;
    SandboxProcess sandbox({"--slow-ms", "300"});
    prepare(folder, sandbox, u("连衣裙┊*┊毛衣"));
    auto window = folder.open_window();
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    auto* button = control<QPushButton>(*window, "按钮生成");
    auto* key = control<QLineEdit>(*window, "编辑框钥匙");
    const QString key_before = key->text();
    int seen_while_running = -1;
    QWidget* focus_while_running = nullptr;
    QMetaObject::Connection progress = connect(window.get(), &QWidget::windowTitleChanged, [&] {
      disconnect(progress);
      seen_while_running = button->isEnabled() ? 1 : 0;
      focus_while_running = QApplication::focusWidget();
      QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_X);  // to whatever has the focus
      QTest::mouseClick(button, Qt::LeftButton);
    });
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(seen_while_running, 0);
    QVERIFY(!qobject_cast<QLineEdit*>(focus_while_running));
    QVERIFY(!qobject_cast<QPlainTextEdit*>(focus_while_running));
    QCOMPARE(key->text(), key_before);
    QCOMPARE(QApplication::focusWidget(), button);
    QVERIFY(button->isEnabled());
    QCOMPARE(window->windowTitle(), u("Quillmoor"));
    QCOMPARE(saved_files(folder), QStringList({u("毛衣.htm"), u("连衣裙.htm")}));
  }

  void closing_during_a_run_stops_it_cleanly() {
    ProgramFolder folder;
    SandboxProcess sandbox({"--slow-ms", "300"});
    prepare(folder, sandbox, u("一┊*┊二┊*┊三┊*┊四┊*┊五┊*┊六"));
    auto window = folder.open_window();
    control<QLineEdit>(*window, "编辑框钥匙")->setText(u("changed"));
    QTimer::singleShot(450, window.get(), [&] { window->close(); });
    QTest::mouseClick(control<QPushButton>(*window, "按钮生成"), Qt::LeftButton);
    QVERIFY(window->controller().closing());
    QVERIFY(!window->controller().running());
    QVERIFY(answered_dialogs().empty());  // nothing said about the stopped run
    const QStringList files = saved_files(folder);
    QVERIFY2(files.size() < 6, qPrintable(files.join(",")));
    for (const QString& file : files) {
      QVERIFY2(file.endsWith(u(".htm")), qPrintable(file));  // no temporary left over
      QVERIFY2(folder.read_gbk("out/" + file).endsWith(u("</body></html>\n")), qPrintable(file));
    }
    QVERIFY(folder.read_gbk("Quillbatch.ini").contains(u("钥匙=changed")));
    // Saved once: destroying the closed window writes nothing more.
    QVERIFY(QFile::remove(folder.qpath("Quillbatch.ini")));
    window.reset();
    QVERIFY(!QFile::exists(folder.qpath("Quillbatch.ini")));
  }
};

QTEST_MAIN(RunTest)
#include "run_test.moc"
