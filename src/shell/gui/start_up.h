#pragma once
// The program's entry: program folder, settings store, window, event loop.

namespace quill::shell::gui {

// Loads Qt's own Chinese texts for the standard buttons and dialogs; false when
// the translation is not installed (the English texts stay).
bool LoadQtTranslation();

// Runs the program until the window is closed; returns the exit code.
// "--screenshot FILE" writes a picture of the settled window to FILE (PNG) and
// closes it, for the documentation and start-up measurements.
int StartUp(int argc, char** argv);

}  // namespace quill::shell::gui
