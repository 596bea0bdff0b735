#include "shell/gui/start_up.h"

int main(int argc, char** argv) { return quill::shell::gui::StartUp(argc, argv); }
