// The window driven offscreen: its controls, settings and dialogs.

#include <QAbstractItemView>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOption>
#include <QTextDocumentFragment>
#include <QTreeView>
#include <QUrl>
#include <QtTest>
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <functional>

#include "base/message_box.h"
#include "program_folder.h"
#include "shell/gui/dialogs.h"
#include "shell/gui/link_opener.h"
#include "shell/gui/look.h"
#include "shell/gui/quit_signals.h"
#include "shell/gui/start_up.h"

using namespace quill;
using namespace quill::shell;
using namespace quill::shell::gui;
using namespace quill::shell::gui::testing;

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }
Text g(const char* utf8) { return gbk(utf8); }

QString visible_text(QWidget* w) {
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* p = qobject_cast<QPlainTextEdit*>(w)) return p->toPlainText();
  if (auto* l = qobject_cast<QLabel*>(w))
    return l->textFormat() == Qt::RichText ? QTextDocumentFragment::fromHtml(l->text()).toPlainText()
                                           : l->text();
  return {};
}

// For the cases that need the window on screen: real popups, keyboard focus.
bool on_screen(QWidget& window) {
  window.show();
  return QTest::qWaitForWindowExposed(&window);
}

// Ctrl+V of text.
void paste(QLineEdit* box, const QString& text) {
  QGuiApplication::clipboard()->setText(text);
  QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
}

QStringList items(QComboBox* box) {
  QStringList list;
  for (int i = 0; i < box->count(); ++i) list << box->itemText(i);
  return list;
}

// Pixels a control has for its text, as its style lays it out.
int room_for_text(QWidget* w) {
  QStyle* style = w->style();
  if (auto* box = qobject_cast<QComboBox*>(w)) {
    QStyleOptionComboBox option;
    option.initFrom(box);
    option.subControls = QStyle::SC_All;
    // The label is drawn one pixel in from each side of the field.
    return style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box).width() - 2;
  }
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth = style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
    const QMargins margins = edit->textMargins();
    // A line edit keeps two pixels free on each side.
    return style->subElementRect(QStyle::SE_LineEditContents, &option, edit).width() - margins.left() -
           margins.right() - 4;
  }
  return w->contentsRect().width();
}

// Pixels of a and b whose colours differ by more than tolerance in a channel;
// every pixel when the sizes differ.
int differing_pixels(const QImage& a, const QImage& b, int tolerance) {
  if (a.size() != b.size()) return std::max(a.width() * a.height(), 1);
  int wrong = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      if (std::abs(qRed(p) - qRed(q)) > tolerance || std::abs(qGreen(p) - qGreen(q)) > tolerance ||
          std::abs(qBlue(p) - qBlue(q)) > tolerance)
        ++wrong;
    }
  return wrong;
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { next_answer::set_unattended(true); }
  void init() {
    next_answer::clear();
    clear_answered_dialogs();
  }

  void window_is_fixed_titled_and_without_maximise() {
    ProgramFolder folder;
    auto window = folder.open_window();
    QVERIFY(on_screen(*window));
    QCOMPARE(window->windowTitle(), u("Quillmoor v1.22"));
    QCOMPARE(window->size(), QSize(518, 320));
    QCOMPARE(window->minimumSize(), window->maximumSize());
    const Qt::WindowFlags flags = window->windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(!(flags & Qt::WindowStaysOnTopHint));
  }

  void control_matches_table_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("selection");
    auto row = [](const char* name, const char* kind, const char* text, QRect rect, QStringList list = {},
                  int selection = -1) {
      QTest::newRow(name) << u(kind) << u(text) << rect << list << selection;
    };
    const QStringList sorts = {u("价格从高到低"),         u("价格从低到高"),        u("信用等级从高到低"),
                               u("佣金比率从高到低"),     u("佣金比率从低到高"),    u("成交量从高到低"),
                               u("成交量从低到高"),       u("总支出佣金从高到低"),  u("总支出佣金从低到高"),
                               u("商品下架时间从高到低"), u("商品下架时间从低到高")};
    row("标签1", "QLabel", "关键词：", {8, 8, 48, 24});
    row("编辑框关键词", "QPlainTextEdit", "女装,女鞋,女包\n2012\n连衣裙,毛衣", {8, 32, 208, 240});
    row("按钮问号", "QPushButton", "帮助", {56, 8, 48, 24});
    row("按钮2", "QPushButton", "模板制作说明", {112, 8, 104, 24});
    row("按钮1", "QPushButton", "保存配置", {8, 280, 64, 32});
    row("按钮生成", "QPushButton", "生成", {80, 280, 136, 32});
    row("标签11", "QLabel", "app key ：", {232, 8, 64, 20});
    row("编辑框钥匙", "QLineEdit", "31415926", {296, 8, 80, 20});
    row("标签12", "QLabel", "Secret  ：", {232, 34, 80, 20});
    row("编辑框密码", "QLineEdit", "5f0c2a9e7b13d4866e1fa0b2c9d34e57", {296, 34, 208, 20});
    row("标签4", "QLabel", "获取数目：", {232, 60, 64, 20});
    row("编辑框数目", "QLineEdit", "10", {296, 60, 32, 20});
    row("标签8", "QLabel", "最多 40 个", {360, 60, 80, 20});
    row("标签3", "QLabel", "淘客 PID：", {232, 86, 64, 20});
    row("编辑框PID", "QLineEdit", "你的pid数字串，只填中间串", {296, 86, 160, 20});
    row("标签7", "QLabel", "排序方式：", {232, 112, 64, 20});
    row("组合框排序", "QComboBox", "", {296, 112, 160, 20}, sorts, 5);
    row("标签5", "QLabel", "单页模板：", {232, 138, 64, 20});
    row("组合框模板", "QComboBox", "", {296, 138, 160, 20}, {}, -1);
    row("标签9", "QLabel", "图片尺寸：", {232, 164, 64, 20});
    row("组合框图片尺寸", "QComboBox", "", {296, 164, 100, 20},
        {u("原图片"), u("460x460"), u("310x310"), u("210x210")}, 3);
    row("标签2", "QLabel", "保存目录：", {232, 190, 64, 20});
    row("按钮选择", "QPushButton", "选择", {472, 190, 40, 20});
    row("标签6", "QLabel", "路径式样：", {232, 216, 64, 20});
    row("组合框路径式样", "QComboBox", "", {296, 216, 112, 20}, {u("关键词.htm"), u("关键词\\index.htm")}, 0);
    row("标签10", "QLabel", "缩短网址：", {232, 244, 64, 20});
    row("组合框短网址", "QComboBox", "", {296, 244, 80, 20}, {u("百度"), u("CNZZ"), u("Baid")}, 0);
    row("选择框短网址", "QCheckBox", "淘客链接转成短网址", {384, 244, 128, 20});
    row("超级链接框1", "QLabel", "升级", {288, 288, 46, 20});
    row("超级链接框2", "QLabel", "更多软件 >> www.example.org", {331, 288, 184, 20});
  }

  void control_matches_table() {
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(QRect, geometry);
    QFETCH(QStringList, items);
    QFETCH(int, selection);
    ProgramFolder folder;  // no templates folder
    auto window = folder.open_window();
    QWidget* w = control<QWidget>(*window, QTest::currentDataTag());
    QVERIFY(w);
    QCOMPARE(w->parentWidget(), window.get());
    QCOMPARE(QString::fromLatin1(w->metaObject()->className()), kind);
    QCOMPARE(w->geometry(), geometry);
    QCOMPARE(QFontInfo(w->font()).family(), QFontInfo(SongFont()).family());
    QCOMPARE(QFontInfo(w->font()).pixelSize(), 12);
    if (auto* box = qobject_cast<QComboBox*>(w)) {
      QCOMPARE(::items(box), items);
      QCOMPARE(box->currentIndex(), selection);
      QVERIFY(!box->isEditable());
    } else {
      QCOMPARE(visible_text(w), text);
    }
  }

  void control_details() {
    ProgramFolder folder;
    auto window = folder.open_window();
    auto* keywords = control<QPlainTextEdit>(*window, "编辑框关键词");
    QCOMPARE(keywords->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(keywords->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(keywords->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(control<QLineEdit>(*window, "编辑框密码")->echoMode(), QLineEdit::Normal);
    QVERIFY(control<QLineEdit>(*window, "编辑框数目")->alignment() & Qt::AlignHCenter);
    QCOMPARE(control<QLabel>(*window, "标签8")->palette().color(QPalette::WindowText), QColor(144, 0, 255));
    QVERIFY(!control<QCheckBox>(*window, "选择框短网址")->isChecked());
    for (const char* name : {"超级链接框1", "超级链接框2"}) {
      const QString html = control<QLabel>(*window, name)->text();
      const QUrl url(html.section('"', 1, 1));
      QVERIFY2(url.host().endsWith(u("example.com")) || url.host().endsWith(u("example.org")), name);
    }
  }

  // A list drops below its box and is as tall as its items, up to ten of them.
  void open_lists_drop_below_and_fit_their_items() {
    ProgramFolder folder;
    auto window = folder.open_window();
    QVERIFY(on_screen(*window));
    for (const char* name : {"组合框路径式样", "组合框图片尺寸", "组合框排序"}) {
      auto* box = control<QComboBox>(*window, name);
      box->showPopup();
      QTRY_VERIFY(box->view()->isVisible());
      const QWidget* list = box->view()->window();
      const int rows = std::min(box->count(), box->maxVisibleItems());
      const int needed = rows * box->view()->sizeHintForRow(0) + 2 * box->view()->frameWidth();
      QVERIFY2(list->geometry().top() >= box->mapToGlobal(QPoint(0, box->height() - 1)).y(), name);
      QVERIFY2(list->height() <= needed + 4,
               qPrintable(QString("%1: %2 > %3").arg(name).arg(list->height()).arg(needed)));
      box->hidePopup();
    }
  }

  // Every text the window shows fits its control, every item of every list too.
  void no_text_is_clipped() {
    ProgramFolder folder;
    folder.add_template(u("ABC Shop 2012"));
    auto window = folder.open_window();
    window->ensurePolished();
    int checked = 0;
    for (QWidget* w : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      QStringList texts;
      if (auto* box = qobject_cast<QComboBox*>(w)) texts = ::items(box);
      // The save folder box shows any path the user chose, scrolling it as typed.
      else if (w->objectName() != u("编辑框目录") &&
               (qobject_cast<QLineEdit*>(w) || qobject_cast<QLabel*>(w) || qobject_cast<QCheckBox*>(w)))
        texts << visible_text(w);
      for (const QString& text : texts) {
        const int needed = w->fontMetrics().horizontalAdvance(text);
        QVERIFY2(
            needed <= room_for_text(w),
            qPrintable(
                QString("%1 \"%2\": %3 > %4").arg(w->objectName(), text).arg(needed).arg(room_for_text(w))));
        ++checked;
      }
    }
    QVERIFY(checked > 30);
  }

  void first_start_shows_default_folder_and_first_template() {
    ProgramFolder folder;
    folder.add_template("A");
    folder.add_template("B");
    auto window = folder.open_window();
    QCOMPARE(control<QLineEdit>(*window, "编辑框目录")->text(), folder.qpath(u("已生成")));
    auto* templates = control<QComboBox>(*window, "组合框模板");
    QCOMPARE(::items(templates), QStringList({"A", "B"}));
    QCOMPARE(templates->currentIndex(), 0);
    QCOMPARE(control<QComboBox>(*window, "组合框排序")->currentIndex(), 5);
  }

  void count_box_drops_typed_letters_but_not_pasted_ones() {
    ProgramFolder folder;
    auto window = folder.open_window();
    QVERIFY(on_screen(*window));
    auto* count = control<QLineEdit>(*window, "编辑框数目");
    count->setFocus();
    count->clear();
    QTest::keyClicks(count, "a.-12x3");
    QCOMPARE(count->text(), u("-123"));
    QTest::keyClick(count, Qt::Key_Backspace);
    QCOMPARE(count->text(), u("-12"));
    QGuiApplication::clipboard()->setText(u("ab"));
    QTest::keyClick(count, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(count->text(), u("-12ab"));
  }

  // Into "XY|Z" only the first line goes, whichever way it comes (a drop at the
  // left edge goes in front).
  void single_line_boxes_keep_the_first_line() {
    using Put = std::function<void(QLineEdit*, const QString&)>;
    const struct {
      const char* way;
      const char* text;
      const char* expected;
      Put put;
    } ways[] = {
        {"Ctrl+V", "12\r\n34", "XY12Z", paste},
        {"menu", "12\n34\n56", "XY12Z",
         [](QLineEdit* box, const QString& text) {
           QGuiApplication::clipboard()->setText(text);
           std::unique_ptr<QMenu> menu(box->createStandardContextMenu());
           const QString keys = QKeySequence(QKeySequence::Paste).toString(QKeySequence::NativeText);
           for (QAction* action : menu->actions())
             if (action->text().section('\t', 1) == keys) action->trigger();
         }},
        {"drop", "12\r34", "12XYZ",
         [](QLineEdit* box, const QString& text) {
           QMimeData data;
           data.setText(text);
           const QPoint left_edge(1, box->height() / 2);
           QDragEnterEvent enter(left_edge, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
           QApplication::sendEvent(box, &enter);
           QDropEvent drop(left_edge, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
           QApplication::sendEvent(box, &drop);
         }},
        {"input method", "12\n\r34", "XY12Z",
         [](QLineEdit* box, const QString& text) {
           QInputMethodEvent commit;
           commit.setCommitString(text);
           QApplication::sendEvent(box, &commit);
         }},
        {"insert()", "12\r\n\r\n34", "XY12Z", [](QLineEdit* box, const QString& text) { box->insert(text); }},
    };
    ProgramFolder folder;
    auto window = folder.open_window();
    for (const char* name : {"编辑框钥匙", "编辑框密码", "编辑框数目", "编辑框PID", "编辑框目录"}) {
      auto* box = control<QLineEdit>(*window, name);
      for (const auto& way : ways) {
        box->setText(u("XYZ"));
        box->setCursorPosition(2);
        way.put(box, u(way.text));
        QVERIFY2(box->text() == u(way.expected), qPrintable(u(name) + " " + way.way + ": " + box->text()));
      }
    }
    // Text set as a whole (restored settings) is kept as it is.
    control<QLineEdit>(*window, "编辑框PID")->setText(u("a\r\nb"));
    QCOMPARE(control<QLineEdit>(*window, "编辑框PID")->text(), u("a\r\nb"));
  }

  void cut_paste_replaces_the_selection_and_undoes_as_one_edit() {
    ProgramFolder folder;
    auto window = folder.open_window();
    auto* box = control<QLineEdit>(*window, "编辑框钥匙");
    box->setText(u("XYZ"));
    box->setCursorPosition(2);
    paste(box, u("12\r\n34"));
    QCOMPARE(box->text(), u("XY12Z"));
    QTest::keySequence(box, QKeySequence::Undo);
    QCOMPARE(box->text(), u("XYZ"));
    QTest::keySequence(box, QKeySequence::Redo);
    QCOMPARE(box->text(), u("XY12Z"));
    QTest::keySequence(box, QKeySequence::Undo);
    QCOMPARE(box->text(), u("XYZ"));
    box->setSelection(1, 1);  // pasting over a selection replaces it
    paste(box, u("12\n34"));
    QCOMPARE(box->text(), u("X12Z"));
  }

  void settings_survive_closing_and_reopening() {
    ProgramFolder folder;
    folder.add_template("A");
    folder.add_template("B");
    StoredControls changed;
    {
      auto window = folder.open_window();
      control<QPlainTextEdit>(*window, "编辑框关键词")->setPlainText(u("连衣裙,毛衣\n\n手机 壳"));
      control<QComboBox>(*window, "组合框排序")->setCurrentIndex(0);
      control<QComboBox>(*window, "组合框模板")->setCurrentIndex(1);
      control<QComboBox>(*window, "组合框路径式样")->setCurrentIndex(1);
      control<QLineEdit>(*window, "编辑框密码")->setText(u("秘密"));
      control<QLineEdit>(*window, "编辑框目录")->setText(u(""));
      control<QCheckBox>(*window, "选择框短网址")->setChecked(true);
      control<QComboBox>(*window, "组合框短网址")->setCurrentIndex(2);
      changed = window->stored_controls();
      QCOMPARE(changed.keywords, g("连衣裙,毛衣\r\n\r\n手机 壳"));
      window->close();
    }
    QVERIFY(answered_dialogs().empty());  // closing saves silently
    auto window = folder.open_window();
    QCOMPARE(window->stored_controls(), changed);
    QCOMPARE(control<QPlainTextEdit>(*window, "编辑框关键词")->toPlainText(), u("连衣裙,毛衣\n\n手机 壳"));
    QCOMPARE(control<QLineEdit>(*window, "编辑框目录")->text(), u(""));
    QVERIFY(!control<QCheckBox>(*window, "选择框短网址")->isChecked());
    QCOMPARE(control<QComboBox>(*window, "组合框短网址")->currentIndex(), 0);
  }

  void windows_settings_file_restores_exactly() {
    ProgramFolder folder;
    folder.write_settings({u("[通常配置]"), u("关键词=女装┊*┊2012┊*┊连衣裙,毛衣┊*┊"), u("获取数目=-5"),
                           u("钥匙=k"), u("密码=s"), u("PID=mm_1_2_3"), u("保存目录=D:\\页面"), u("尺寸=0"),
                           u("路径式样=1")});
    auto window = folder.open_window();
    QCOMPARE(control<QPlainTextEdit>(*window, "编辑框关键词")->toPlainText(), u("女装\n2012\n连衣裙,毛衣\n"));
    QCOMPARE(control<QLineEdit>(*window, "编辑框数目")->text(), u("-5"));
    QCOMPARE(control<QLineEdit>(*window, "编辑框PID")->text(), u("mm_1_2_3"));
    QCOMPARE(control<QLineEdit>(*window, "编辑框目录")->text(), u("D:\\页面"));
    QCOMPARE(control<QComboBox>(*window, "组合框图片尺寸")->currentIndex(), 0);
    QCOMPARE(control<QComboBox>(*window, "组合框路径式样")->currentIndex(), 1);
    QCOMPARE(control<QComboBox>(*window, "组合框排序")->currentIndex(), 5);  // missing key: initial value
  }

  void stored_index_is_fitted_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("expected");
    QTest::newRow("排序 12") << u("排序") << u("12") << u("组合框排序") << 10;
    QTest::newRow("排序 -3") << u("排序") << u("-3") << u("组合框排序") << -1;
    QTest::newRow("排序 2.9") << u("排序") << u("2.9") << u("组合框排序") << 2;
    QTest::newRow("排序 not a number") << u("排序") << u("abc") << u("组合框排序") << 0;
    QTest::newRow("模板 4 of two") << u("模板") << u("4") << u("组合框模板") << 1;
    QTest::newRow("模板 1") << u("模板") << u("1") << u("组合框模板") << 1;
    QTest::newRow("路径式样 -1") << u("路径式样") << u("-1") << u("组合框路径式样") << -1;
  }

  void stored_index_is_fitted() {
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(QString, control);
    QFETCH(int, expected);
    ProgramFolder folder;
    folder.add_template("A");
    folder.add_template("B");
    folder.write_settings({u("[通常配置]"), key + "=" + stored});
    auto window = folder.open_window();
    QCOMPARE(window->findChild<QComboBox*>(control)->currentIndex(), expected);
  }

  void garbled_settings_file_gives_initial_values() {
    ProgramFolder folder;
    QFile file(folder.qpath("Quillbatch.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("\xff\xfe\x00[\x81\r\n==\n\xa9", 11));
    file.close();
    auto window = folder.open_window();
    ProgramFolder fresh;
    auto initial = fresh.open_window();
    StoredControls expected = initial->stored_controls();
    expected.save_dir = to_gbk(folder.qpath(u("已生成")));  // each folder's own default
    QCOMPARE(window->stored_controls(), expected);
    QVERIFY(answered_dialogs().empty());
  }

  void no_templates_folder_selects_nothing() {
    ProgramFolder folder;
    folder.write_settings({u("[通常配置]"), u("模板=3")});
    auto window = folder.open_window();
    QCOMPARE(control<QComboBox>(*window, "组合框模板")->currentIndex(), -1);
  }

  void closing_saves_once() {
    ProgramFolder folder;
    auto window = folder.open_window();
    control<QComboBox>(*window, "组合框排序")->setCurrentIndex(0);
    window->close();
    IniStore store = folder.session.store;
    store.set_section(g("通常配置"));
    QCOMPARE(store.get_number(g("排序"), 99), 0.0);
    QVERIFY(QFile::remove(folder.qpath("Quillbatch.ini")));
    window->close();
    window.reset();
    QVERIFY(!QFile::exists(folder.qpath("Quillbatch.ini")));
  }

  void save_button_saves_and_says_so() {
    ProgramFolder folder;
    folder.add_template("A");
    auto window = folder.open_window();
    QTest::mouseClick(control<QPushButton>(*window, "按钮1"), Qt::LeftButton);
    QCOMPARE(answered_dialogs().size(), size_t(1));
    const AnsweredDialog& shown = answered_dialogs().front();
    QCOMPARE(shown.text, g("恭喜你，你遇到了比中六合彩还要美好的事：保存OK！"));
    QCOMPARE(shown.caption, g("信息："));
    QVERIFY(shown.flags & kMbTaskModal);
    const QString saved = folder.read_gbk("Quillbatch.ini");
    for (const QString& line :
         {u("[通常配置]"), u("关键词=女装,女鞋,女包┊*┊2012┊*┊连衣裙,毛衣"), u("获取数目=10"),
          u("钥匙=31415926"), u("密码=5f0c2a9e7b13d4866e1fa0b2c9d34e57"), u("PID=你的pid数字串，只填中间串"),
          u("排序=5"), u("尺寸=3"), u("模板=0"), u("保存目录=") + folder.qpath(u("已生成")), u("路径式样=0")})
      QVERIFY2(saved.contains(line), qPrintable(line));
  }

  void failed_save_names_the_file_instead_of_success() {
    ProgramFolder folder;
    QVERIFY(QDir(folder.qpath()).mkdir("Quillbatch.ini"));  // stops root as well as anyone
    auto window = folder.open_window();
    QTest::mouseClick(control<QPushButton>(*window, "按钮1"), Qt::LeftButton);
    window->close();
    const Text failure = g("保存配置失败：") + folder.session.store.file();
    QCOMPARE(answered_dialogs().size(), size_t(2));
    for (const AnsweredDialog& shown : answered_dialogs()) {
      QVERIFY2(shown.text.starts_with(failure), shown.text.c_str());
      QCOMPARE(shown.caption, g("信息："));
    }
    QCOMPARE(QDir(folder.qpath()).entryList(QDir::Files | QDir::Hidden), QStringList());
  }

  void quit_signals_and_session_end_close_and_save_data() {
    QTest::addColumn<int>("signal");  // 0: the desktop session ends
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
    QTest::newRow("session end") << 0;
  }

  void quit_signals_and_session_end_close_and_save() {
    QFETCH(int, signal);
    ProgramFolder folder;
    auto window = folder.open_window();
    window->show();
    control<QLineEdit>(*window, "编辑框钥匙")->setText(u("k"));
    {
      const QuitSignals quit_signals(*window);
      if (signal) {
        QVERIFY(quit_signals.active());
        std::raise(signal);
      } else {
        QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit"));
      }
      QTRY_VERIFY(window->closing());
    }
    QVERIFY(!window->isVisible());
    QVERIFY(folder.read_gbk("Quillbatch.ini").contains(u("钥匙=k")));
  }

  void help_and_rules_show_their_texts_and_touch_nothing() {
    ProgramFolder folder;
    auto window = folder.open_window();
    const StoredControls before = window->stored_controls();
    QTest::mouseClick(control<QPushButton>(*window, "按钮问号"), Qt::LeftButton);
    QTest::mouseClick(control<QPushButton>(*window, "按钮2"), Qt::LeftButton);
    QCOMPARE(answered_dialogs().size(), size_t(2));
    QCOMPARE(
        answered_dialogs()[0].text,
        g("本程序特点\r\n\r\n1、支持多关键词生成单页，每个关键词以半角逗号隔开“,”，称为“组关键词”\r\n\r\n"
          "2、支持批量生成多个单页，一行一个“组关键词”"));
    Text dashes;
    for (int i = 0; i < 28; ++i) dashes += "\xA1\xAA";
    const Text rules =
        g("模板的具体制作教程在目录下的这个文件里：模板制作教程.htm\r\n\r\n") + dashes +
        g("\r\n\r\n相关文件标准放置路径：\r\n\r\n模板文件：程序目录\\模板\\模板的名称\\模板文件.htm\r\n"
          "资源目录：程序目录\\模板\\模板的名称\\files\r\n\r\n"
          "（资源，就是模板文件中引用到的图片、CSS等文件，若资源放在可访问的网络中，并且模板文件中使用绝对地"
          "址引用，则不必将资源放到目录中）\r\n\r\n") +
        dashes +
        g("\r\n\r\n（在生成时，程序会自动复制资源目录中的文件到生成的目标目录，这时如果已有同名文件存在，则将"
          "提示是否覆盖，请选【全部是】）");
    QCOMPARE(answered_dialogs()[1].text, rules);
    QCOMPARE(window->stored_controls(), before);
    QVERIFY(!QFile::exists(folder.qpath("Quillbatch.ini")));
  }

  void message_box_has_one_plain_ok_and_only_a_close_button() {
    auto box = make_message_box(g("第一行\r\n第二行"), kMbIconError | kMbTaskModal, g("错误"));
    QCOMPARE(box->windowTitle(), u("错误"));
    QCOMPARE(box->text(), u("第一行\n第二行"));
    QCOMPARE(box->icon(), QMessageBox::Critical);
    QCOMPARE(box->buttons().size(), qsizetype(1));
    QCOMPARE(box->buttons().front()->text(), u("确定"));
    QVERIFY(box->buttons().front()->icon().isNull());
    QCOMPARE(box->windowModality(), Qt::ApplicationModal);
    QVERIFY(!box->parent());
    QCOMPARE(box->windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
             Qt::WindowCloseButtonHint);
    // Without an icon, the text starts at the box's margin.
    auto plain = make_message_box(g("x"), kMbOk, g("信息："));
    QCOMPARE(plain->icon(), QMessageBox::NoIcon);
    QVERIFY(on_screen(*plain));
    QCOMPARE(plain->findChild<QLabel*>(u("qt_msgbox_label"))->x(), plain->layout()->contentsMargins().left());
  }

  void replace_question_offers_five_answers() {
    auto box = make_replace_box(g("/页面/files/a.css"));
    QStringList labels;
    for (QAbstractButton* b : box->buttons()) labels << b->text();
    labels.sort();
    QStringList expected = {u("是"), u("全部是"), u("否"), u("全部否"), u("取消")};
    expected.sort();
    QCOMPARE(labels, expected);
    QCOMPARE(box->escapeButton()->text(), u("取消"));
    QVERIFY(box->text().contains(u("/页面/files/a.css")));
    next_answer::replace(ReplaceAnswer::no_to_all);
    QCOMPARE(ask_replace(g("x")), ReplaceAnswer::no_to_all);
  }

  void folder_chooser_selects_the_folder_in_its_parent_in_chinese() {
    QVERIFY(LoadQtTranslation());
    quill::testing::ScratchFolder dir;
    const QString root = QString::fromStdString(dir.path().string());
    const QString pages = root + u("/页面");
    QVERIFY(QDir(root).mkdir(u("页面")));
    auto chooser = make_folder_chooser(to_gbk(pages), g("选择一个保存目录："));
    QCOMPARE(chooser->directory().absolutePath(), root);
    QCOMPARE(chooser->selectedFiles(), QStringList{pages});
    const QTreeView* view = chooser->findChild<QTreeView*>(u("treeView"));
    const QAbstractItemModel* list = view->model();
    QCOMPARE(list->headerData(0, Qt::Horizontal).toString(), u("名称"));
    QTRY_COMPARE(list->rowCount(view->rootIndex()), 1);
    const QDateTime modified = QFileInfo(pages).lastModified();
    QCOMPARE(list->index(0, 3, view->rootIndex()).data().toString(),
             QLocale(QLocale::Chinese, QLocale::China).toString(modified, QLocale::ShortFormat));

    // The default save folder before the first run: chosen as it is.
    const QString later = root + u("/已生成");
    chooser = make_folder_chooser(to_gbk(later), g("选择一个保存目录："));
    QPushButton* choose =
        chooser->findChild<QDialogButtonBox*>(u("buttonBox"))->button(QDialogButtonBox::Open);
    QVERIFY(choose->text().startsWith(u("选择")));
    QTRY_VERIFY(choose->isEnabled());
    QTest::mouseClick(choose, Qt::LeftButton);
    QCOMPARE(chosen_folder(*chooser), to_gbk(later));
  }

  void hyperlink_falls_back_to_the_htm_handler_then_says_so() {
    ProgramFolder folder;
    auto window = folder.open_window();
    QStringList tried;
    bool desktop_opens = true, htm_opens = true;
    auto opener = [&tried](const char* name, const bool& opens) {
      return [&tried, name, &opens](const QUrl& address) {
        tried << name + address.toString();
        return opens;
      };
    };
    window->set_link_openers({opener("open ", desktop_opens), opener("htm ", htm_opens)});
    auto* link = control<QLabel>(*window, "超级链接框2");
    const QString address = link->text().section('"', 1, 1);
    emit link->linkActivated(address);
    desktop_opens = false;
    emit link->linkActivated(address);
    QVERIFY(answered_dialogs().empty());
    htm_opens = false;
    emit link->linkActivated(address);
    QCOMPARE(tried, QStringList({"open " + address, "open " + address, "htm " + address, "open " + address,
                                 "htm " + address}));
    QCOMPARE(answered_dialogs().size(), size_t(1));
    QVERIFY(from_gbk(answered_dialogs()[0].text).contains(address));
    QVERIFY(!OpenLink(QUrl(address), {}));
  }

  // The program registered for "text/html" in the user's mimeapps.list, with
  // no browser registered for web addresses.
  void htm_handler_is_the_program_registered_for_html() {
    quill::testing::ScratchFolder dir;
    const std::string root = dir.path().string();
    quill::testing::write_file(dir / "viewer.sh", "#!/bin/sh\nprintf '%s' \"$1\" > \"" + root +
                                                      "/opened.tmp\"\nmv \"" + root + "/opened.tmp\" \"" +
                                                      root + "/opened\"\n");
    std::filesystem::permissions(dir / "viewer.sh", std::filesystem::perms::owner_all);
    quill::testing::write_file(dir / "data/applications/page-viewer.desktop",
                               "[Desktop Entry]\nType=Application\nName=Page viewer\nExec=" + root +
                                   "/viewer.sh %u\nMimeType=text/html;\n");
    quill::testing::write_file(dir / "config/mimeapps.list",
                               "[Default Applications]\ntext/html=page-viewer.desktop\n");
    // GIO reads these once, at its first use in the process: here.
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(root + "/data"));
    qputenv("XDG_DATA_DIRS", QByteArray::fromStdString(root + "/data"));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(root + "/config"));
    qputenv("XDG_CONFIG_DIRS", QByteArray::fromStdString(root + "/config"));
    QVERIFY(!DesktopHandlesScheme(u("http")));
    QVERIFY(StartHtmHandler(QUrl(u("http://www.example.org/a?b=1"))));
    QTRY_COMPARE(quill::testing::read_file(dir / "opened"), std::string("http://www.example.org/a?b=1"));
  }

  // The window as drawn, against the picture kept with the tests; a wrong one
  // is written beside the test program.
  void window_looks_like_the_reference_picture() {
    QVERIFY2(QFontInfo(SongFont()).family() == u("WenQuanYi Bitmap Song"),
             "the picture is drawn with WenQuanYi Bitmap Song (package xfonts-wqy) and without SimSun");
    ProgramFolder folder;
    folder.add_template(u("默认模板"));
    auto window = folder.open_window();
    auto* save_dir = control<QLineEdit>(*window, "编辑框目录");
    save_dir->setText(u("/opt/quillmoor/已生成"));
    save_dir->setCursorPosition(0);
    control<QComboBox>(*window, "组合框路径式样")->setCurrentIndex(1);  // the longest item
    const QImage actual = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage expected =
        QImage(QStringLiteral(QUILL_GUI_TEST_DATA "/window.png")).convertToFormat(QImage::Format_RGB32);
    const int wrong = differing_pixels(actual, expected, 16);
    const QString written = QCoreApplication::applicationDirPath() + u("/window-actual.png");
    if (wrong) actual.save(written);
    QVERIFY2(wrong == 0, qPrintable(QString("%1 pixels differ; see %2").arg(wrong).arg(written)));
  }

  void folder_chooser_opens_at_box_and_cancel_keeps_it() {
    ProgramFolder folder;
    auto window = folder.open_window();
    auto* box = control<QLineEdit>(*window, "编辑框目录");
    const QString start = box->text();
    next_answer::folder(g("/tmp/页面"));
    next_answer::folder(Text());
    QTest::mouseClick(control<QPushButton>(*window, "按钮选择"), Qt::LeftButton);
    QCOMPARE(box->text(), u("/tmp/页面"));
    QTest::mouseClick(control<QPushButton>(*window, "按钮选择"), Qt::LeftButton);
    QCOMPARE(box->text(), u("/tmp/页面"));
    QCOMPARE(answered_dialogs().size(), size_t(2));
    QCOMPARE(answered_dialogs()[0].kind, AnsweredDialog::kFolder);
    QCOMPARE(answered_dialogs()[0].text, to_gbk(start));
    QCOMPARE(answered_dialogs()[0].caption, g("选择一个保存目录："));
    QCOMPARE(answered_dialogs()[1].text, g("/tmp/页面"));
  }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
