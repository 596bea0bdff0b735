// quillmoor: the window. --help and --version are answered before Qt starts,
// so they work without a display; every other argument is the window's or Qt's.

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

#include "shell/gui/start_up.h"

namespace {

// The exit status when the arguments were only a question, nothing otherwise.
std::optional<int> answer_question(int argc, char** argv) {
  CLI::App app(
      "The window: keyword groups in, one GBK page per group out, written from a template\n"
      "with the items the platform's affiliate API lists for each keyword.",
      "quillmoor");
  app.footer(
      "The window keeps its values in Quillbatch.ini: beside the program when its folder\n"
      "is writable, else in ~/.config/quillmoor/. Qt's own options (-platform, -display,\n"
      "-style, ...) are passed on to Qt.");
  app.get_formatter()->column_width(22);
  app.set_help_flag("-h,--help", "this help");
  app.set_version_flag("--version", std::string("quillmoor ") + QUILL_VERSION, "the version");
  app.add_option("--screenshot", "the window draws itself once into FILE (PNG) and closes;\n"
                                 "with QT_QPA_PLATFORM=offscreen it needs no display")
      ->type_name("FILE");
  app.allow_extras();
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& asked) {
    return app.exit(asked);
  } catch (const CLI::ParseError&) {  // the window says nothing of its arguments
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  if (const auto exit_status = answer_question(argc, argv)) return *exit_status;
  return quill::shell::gui::StartUp(argc, argv);
}
