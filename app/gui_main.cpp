#include "shell/gui/start_up.h"

int main(int argc, char** argv) { return quill::gui::StartUp(argc, argv); }
