// The window driven offscreen: its controls, settings and dialogs.

#include <QAbstractItemView>
#include <QAccessible>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileSystemModel>
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
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QtTest>
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <functional>

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

  // Every row of the control table as a widget at its place, with its text, font and items.
  void controls_are_built_from_the_table() {
    ProgramFolder folder;  // no templates folder
    auto window = folder.open_window();
    for (const ControlRow& row : WindowLayout()) {
      const QString name = from_gbk(row.name);
      QWidget* w = window->findChild<QWidget*>(name);
      QVERIFY2(w && w->parentWidget() == window.get(), qPrintable(name));
      QCOMPARE(w->geometry(), QRect(row.x, row.y, row.width, row.height));
      QCOMPARE(QFontInfo(w->font()).family(), QFontInfo(SongFont()).family());
      QCOMPARE(QFontInfo(w->font()).pixelSize(), 12);
      if (auto* box = qobject_cast<QComboBox*>(w)) {
        QStringList expected;
        for (const Text& item : row.items) expected << from_gbk(item);
        QCOMPARE(::items(box), expected);
        QCOMPARE(box->currentIndex(), row.selection);
      } else if (row.kind != ControlKind::edit || !row.caption.empty()) {
        QCOMPARE(visible_text(w), from_gbk_lines(row.caption));
      }
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
      QCOMPARE(QAccessible::queryAccessibleInterface(control<QLabel>(*window, name))->role(),
               QAccessible::Link);
    }
    // A screen reader names each box by its label: the name, and on Linux the
    // label relation (a combo box's name there is its value).
    for (const ControlRow& row : WindowLayout()) {
      if (row.label < 0) continue;
      QAccessibleInterface* box =
          QAccessible::queryAccessibleInterface(window->widget(Control(&row - &WindowLayout()[0])));
      QWidget* label = window->widget(Control(row.label));
      const auto labels = box->relations(QAccessible::Label);
      QVERIFY2(!labels.isEmpty() && labels.front().first->object() == label, qPrintable(from_gbk(row.name)));
      if (row.kind != ControlKind::combo)
        QVERIFY(label->accessibleName().isEmpty() && box->text(QAccessible::Name).size() > 0 &&
                static_cast<QLabel*>(label)->text().startsWith(box->text(QAccessible::Name)));
    }
  }

  // Tab leaves the keyword box instead of typing into it.
  void tab_moves_the_focus_out_of_the_keyword_box() {
    ProgramFolder folder;
    auto window = folder.open_window();
    QVERIFY(on_screen(*window));
    auto* keywords = control<QPlainTextEdit>(*window, "编辑框关键词");
    keywords->setFocus();
    QTRY_VERIFY(keywords->hasFocus());
    QTest::keyClick(keywords, Qt::Key_Tab);
    QVERIFY(!keywords->toPlainText().contains('\t'));
    QVERIFY(!keywords->hasFocus());
  }

  // A list drops below its box and is as tall as its items, at least 160 pixels when it has enough.
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
      if (box->count() > 10)
        QVERIFY2(list->height() >= kOpenListHeight, qPrintable(QString::number(list->height())));
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

  void message_box_has_one_plain_ok_and_only_a_close_button() {
    auto box = make_message_box(g("第一行\r\n第二行"), BoxIcon::error, g("错误"));
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
    auto plain = make_message_box(g("x"), BoxIcon::none, g("信息："));
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

  // A tree of folders in Chinese, opened at the box's folder; a folder not made
  // yet is taken as typed.
  void folder_chooser_is_a_chinese_tree_opened_at_the_folder() {
    quill::testing::ScratchFolder dir;
    const QString root = QString::fromStdString(dir.path().string());
    const QString pages = root + u("/页面");
    QVERIFY(QDir(root).mkdir(u("页面")));
    FolderChooser chooser(to_gbk(pages), g("选择一个保存目录："));
    auto* tree = chooser.findChild<QTreeView*>(u("folders"));
    QVERIFY(tree->isHeaderHidden());
    QCOMPARE(static_cast<const QFileSystemModel*>(tree->model())->filePath(tree->currentIndex()), pages);
    QStringList texts;
    for (QAbstractButton* b : chooser.findChildren<QAbstractButton*>()) texts << b->text();
    for (QLabel* l : chooser.findChildren<QLabel*>()) texts << l->text();
    texts.sort();
    QCOMPARE(texts, QStringList({u("取消"), u("文件夹："), u("确定"), u("选择一个保存目录：")}));

    const QString later = root + u("/已生成");
    FolderChooser fresh(to_gbk(later), g("选择一个保存目录："));
    QCOMPARE(fresh.findChild<QLineEdit*>(u("folder"))->text(), later);
    fresh.accept();
    QCOMPARE(fresh.chosen(), to_gbk(later));
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

  void network_dialog_opens_from_its_shortcut_and_menu_with_five_fields() {
    ProgramFolder folder;
    auto window = folder.open_window();
    QVERIFY(on_screen(*window));
    next_answer::network(std::nullopt);
    QTest::keySequence(window.get(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    QCOMPARE(answered_dialogs().size(), size_t(1));
    QCOMPARE(answered_dialogs()[0].kind, AnsweredDialog::kNetwork);
    const NetworkForm form{"taobao.taobaoke.items.get", "http://127.0.0.1:9/router/rest?", "4", "3", ""};
    auto dialog = make_network_dialog(form);
    QCOMPARE(dialog->findChildren<QLineEdit*>().size(), qsizetype(5));
    QCOMPARE(network_dialog_values(*dialog), form);
    QCOMPARE(dialog->windowTitle(), u("网络设置"));
  }

  // SIGTERM and SIGHUP end the program from inside any dialog, the settings saved.
  void quit_signals_end_the_program_whatever_dialog_is_open_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
  }

  void quit_signals_end_the_program_whatever_dialog_is_open() {
    QFETCH(int, signal);
    ProgramFolder folder;
    auto window = folder.open_window();
    window->show();
    control<QLineEdit>(*window, "编辑框钥匙")->setText(u("k"));
    const QuitSignals quit_signals(*window, [&window] { window->quit(); });
    QVERIFY(quit_signals.active());
    auto box = make_message_box(g("x"), BoxIcon::none, g("信息："));
    QTimer::singleShot(0, [signal] { std::raise(signal); });
    // Returns only because the quit ends every event loop (or at once, once an
    // earlier quit has ended them: then the signal comes as the events are).
    box->exec();
    QTRY_VERIFY(window->controller().closing());
    QVERIFY(folder.read_gbk("Quillbatch.ini").contains(u("钥匙=k")));
  }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
