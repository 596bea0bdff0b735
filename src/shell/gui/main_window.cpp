#include "shell/gui/main_window.h"

#include <QAbstractEventDispatcher>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSessionManager>
#include <QShortcut>
#include <QUrl>

#include "base/codepage.h"
#include "shell/gui/controls.h"
#include "shell/gui/dialogs.h"
#include "shell/gui/look.h"
#include "shell/gui/qt_text.h"
#include "shell/window_texts.h"

namespace quill::shell::gui {
namespace {

// The outer size with a thin fixed frame and a title bar, for centring before
// the window system knows the frame.
constexpr int kOuterWidth = 524;
constexpr int kOuterHeight = 351;
const QKeySequence kNetworkKeys(Qt::CTRL | Qt::SHIFT | Qt::Key_N);

}  // namespace

MainWindow::MainWindow(ProgramSession& session) : controller_(session, *this) {
  setWindowTitle(from_gbk(InitialTitle()));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(kClientWidth, kClientHeight);
  // The layout was drawn for Chinese Windows, whose GUI font is SimSun at 12 pixels.
  setFont(SongFont());
  controller_.build();
  if (QScreen* screen = this->screen()) {
    QRect outer(0, 0, kOuterWidth, kOuterHeight);
    outer.moveCenter(screen->availableGeometry().center());
    move(outer.topLeft());
  }
  connect(new QShortcut(kNetworkKeys, this), &QShortcut::activated, this,
          [this] { controller_.open_network_dialog(); });
  // The session manager may kill the program once it has asked it to keep its data.
#ifndef QT_NO_SESSIONMANAGER
  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    connect(app, &QGuiApplication::commitDataRequest, this, [this] { controller_.save_for_session_end(); });
#endif
  connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] { close(); });
}

void MainWindow::create(Control control, const ControlRow& row) {
  QWidget* w = widgets_[control] = MakeControl(row, this);
  w->setObjectName(from_gbk(row.name));
  w->setGeometry(row.x, row.y, row.width, row.height);
  if (row.song) w->setFont(SongFont());
  if (row.label >= 0) {
    auto* label = static_cast<QLabel*>(widgets_[row.label]);
    label->setBuddy(w);
    w->setAccessibleName(label->text().remove(QChar(u'：')).trimmed());
  }
  if (auto* button = qobject_cast<QPushButton*>(w))
    connect(button, &QPushButton::clicked, this, [this, control] { controller_.click(control); });
  if (row.kind == ControlKind::link)
    connect(static_cast<QLabel*>(w), &QLabel::linkActivated, this,
            [this, control] { controller_.click(control); });
}

Text MainWindow::text(Control control) const {
  QWidget* w = widgets_[control];
  if (auto* box = qobject_cast<QPlainTextEdit*>(w)) return to_gbk_lines(box->toPlainText());
  if (auto* box = qobject_cast<QComboBox*>(w))
    return box->currentIndex() < 0 ? Text() : to_gbk(box->currentText());
  return to_gbk(static_cast<QLineEdit*>(w)->text());
}

void MainWindow::set_text(Control control, const Text& text) {
  if (auto* box = qobject_cast<QPlainTextEdit*>(widgets_[control]))
    return box->setPlainText(from_gbk_lines(text));
  auto* box = static_cast<QLineEdit*>(widgets_[control]);
  box->setText(from_gbk(text));
  box->setCursorPosition(0);  // shown from its beginning, as a Windows edit box
}

bool MainWindow::checked(Control control) const {
  return static_cast<QCheckBox*>(widgets_[control])->isChecked();
}
int MainWindow::selection(Control control) const {
  return static_cast<QComboBox*>(widgets_[control])->currentIndex();
}

void MainWindow::set_items(Control control, const TextList& items) {
  auto* box = static_cast<QComboBox*>(widgets_[control]);
  box->clear();
  for (const Text& item : items) box->addItem(from_gbk(item));
}

void MainWindow::set_selection(Control control, int index) {
  static_cast<QComboBox*>(widgets_[control])->setCurrentIndex(index);
}

// A disabled control hands the focus on to the next, where a stray keystroke
// would replace a box's text: the window itself holds it meanwhile.
void MainWindow::enable(Control control, bool on) {
  QWidget* w = widgets_[control];
  if (!on && w->hasFocus()) setFocus(Qt::OtherFocusReason);
  w->setEnabled(on);
  if (on && focusWidget() == this) w->setFocus(Qt::OtherFocusReason);
}

void MainWindow::set_title(const Text& title) { setWindowTitle(from_gbk(title)); }
void MainWindow::message(const Text& text) { run_message_box(text, BoxIcon::none, InfoCaption()); }
generator::ReplaceAnswer MainWindow::ask_replace(const Text& target) { return gui::ask_replace(target); }
Text MainWindow::choose_folder(const Text& start, const Text& title) {
  return gui::choose_folder(start, title);
}
bool MainWindow::edit_network(NetworkForm& form) { return gui::edit_network(form); }
bool MainWindow::open_link(const Text& address) { return OpenLink(QUrl(from_gbk(address)), link_openers_); }

Text MainWindow::network_dialog_place() const {
  return gbk("在窗口的空白处点右键，或按 ") + to_gbk(kNetworkKeys.toString(QKeySequence::NativeText)) +
         gbk("。");
}

bool MainWindow::pump() {
  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  return dispatcher && dispatcher->processEvents(QEventLoop::AllEvents);
}

void MainWindow::quit() {
  controller_.quit();
  QCoreApplication::exit(0);  // every event loop ends, a dialog's too
}

void MainWindow::closeEvent(QCloseEvent* event) { event->setAccepted(controller_.close()); }

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.addAction(QString::fromUtf8("网络设置..."), kNetworkKeys, this,
                 [this] { controller_.open_network_dialog(); });
  menu.exec(event->globalPos());
}

}  // namespace quill::shell::gui
