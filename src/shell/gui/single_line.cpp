#include "shell/gui/single_line.h"

#include <QLineEdit>
#include <algorithm>
#include <utility>

namespace quill::shell::gui {
namespace {

qsizetype first_break(QStringView text) {
  for (qsizetype i = 0; i < text.size(); ++i)
    if (text[i] == u'\r' || text[i] == u'\n') return i;
  return -1;
}

qsizetype common_prefix(QStringView a, QStringView b, qsizetype limit) {
  qsizetype n = 0;
  while (n < limit && n < a.size() && n < b.size() && a[n] == b[n]) ++n;
  return n;
}

class FirstLineGuard final : public QObject {
 public:
  explicit FirstLineGuard(QLineEdit* box) : QObject(box), box_(box), current_(box->text()) {
    // textEdited comes before textChanged, so current_ still holds the text
    // before the edit when edited() runs. A change made inside edited() leaves
    // textChanged with a stale argument, hence the box's own text.
    connect(box, &QLineEdit::textEdited, this, &FirstLineGuard::edited);
    connect(box, &QLineEdit::textChanged, this, [this] { current_ = box_->text(); });
  }

 private:
  void edited(const QString& now) {
    if (busy_) return;
    const QString before = std::exchange(current_, now);
    if (!uncut_.isNull() && now == uncut_ && box_->isRedoAvailable()) {
      // Undo took back the cut (or redo brought back the paste): go one step
      // further, so that the user never sees the lines and undo never sticks.
      step(before == cut_ ? &QLineEdit::undo : &QLineEdit::redo);
      return;
    }
    cut_insert(before, now);
  }

  // The inserted part ends at the cursor; what follows it is what followed before.
  void cut_insert(const QString& before, const QString& now) {
    const qsizetype end = box_->cursorPosition();
    const qsizetype tail = now.size() - end;
    if (tail < 0 || tail > before.size()) return;
    const qsizetype start = common_prefix(before, now, std::min(end, before.size() - tail));
    const qsizetype cut = first_break(QStringView(now).mid(start, end - start));
    if (cut < 0) return;
    box_->setSelection(static_cast<int>(start + cut), static_cast<int>(end - start - cut));
    step(&QLineEdit::del);
    uncut_ = now;
    cut_ = current_;
  }

  void step(void (QLineEdit::*action)()) {
    busy_ = true;
    (box_->*action)();
    busy_ = false;
    current_ = box_->text();
  }

  QLineEdit* box_;
  QString current_;
  QString uncut_;  // the text as the last cut insert left it before the cut
  QString cut_;    // and after
  bool busy_ = false;
};

}  // namespace

void KeepFirstLineOfInserts(QLineEdit* box) {
  if (box) new FirstLineGuard(box);
}

}  // namespace quill::shell::gui
