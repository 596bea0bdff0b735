#pragma once
// Single-line edit boxes keep only the first line of what is put into them, as
// a Windows single-line edit does.

class QLineEdit;

namespace quill::shell::gui {

// From now on, text inserted into box by the user or by insert() (paste by any
// key, menu or mouse, drop, input method) is cut at its first CR or LF; the text
// after the cursor stays. setText() keeps what it is given. Undo and redo step
// over a cut paste as one edit. The guard lives as long as the box.
void KeepFirstLineOfInserts(QLineEdit* box);

}  // namespace quill::shell::gui
