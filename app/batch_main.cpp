// quillmoor-batch: one generation run from the command line, exactly as a click
// on "生成" makes it, over the settings the window restores at its start.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/codepage.h"
#include "base/fatal.h"
#include "base/fs.h"
#include "console.h"
#include "generator/generation_run.h"
#include "openapi/api_interface.h"
#include "shell/session.h"

namespace quill {
namespace {

using generator::ReplaceAnswer;

enum ExitCode {
  kExitOk = 0,
  kExitNoProductLoop = 1,
  kExitUsage = 2,
  kExitPagesFailed = 3,
  kExitCallsFailed = 4
};

std::atomic<bool> interrupted{false};

void on_signal(int) { interrupted = true; }

void print(std::string_view utf8) {
  std::fwrite(utf8.data(), 1, utf8.size(), stderr);
  std::fflush(stderr);
}

struct Options {
  std::optional<std::string> program_dir, template_name, keywords_file, gateway, api;
  int short_link_service = -1;
  std::optional<std::chrono::milliseconds> wait;
  int jobs = 4;
  std::optional<int> retries;
  ReplaceAnswer replace = ReplaceAnswer::yes_to_all;
  bool quiet = false;
};

struct UsageError {
  std::string message;
};

// A whole number from low to high, or a UsageError naming the option.
int small_number(const std::string& option, const std::string& text, int low, int high) {
  char* end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || n < low || n > high)
    throw UsageError{option + " takes a number from " + std::to_string(low) + " to " + std::to_string(high)};
  return static_cast<int>(n);
}

std::chrono::milliseconds wait_seconds(const std::string& text) {
  char* end = nullptr;
  const double seconds = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !(seconds > 0 && seconds <= 3600))
    throw UsageError{"--wait takes a number of seconds from 0 to 3600"};
  return std::chrono::milliseconds(std::max<long long>(1, std::llround(seconds * 1000)));
}

int short_link_service(const std::string& n) {
  if (n != "0" && n != "1" && n != "2") throw UsageError{"--short-links takes 0, 1 or 2"};
  return n[0] - '0';
}

std::string api_method(const std::string& method) {
  if (method.empty() || !openapi::ParseInterface(method))
    throw UsageError{gbk_to_utf8(openapi::InterfaceChoiceMessage())};
  return method;
}

ReplaceAnswer replace_answer(const std::string& value) {
  if (value == "all") return ReplaceAnswer::yes_to_all;
  if (value == "none") return ReplaceAnswer::no_to_all;
  if (value == "cancel") return ReplaceAnswer::cancel;
  throw UsageError{"--replace takes all, none or cancel"};
}

// An option whose value is read by a function that throws UsageError.
template <typename Read>
CLI::Option* add_read(CLI::App& app, const std::string& name, Read read, const std::string& help) {
  return app.add_option_function<std::string>(name, read, help);
}

// One line an option; its help text is its description.
void add_options(CLI::App& app, Options& o) {
  auto text = [](std::optional<std::string>& into) { return [&into](const std::string& v) { into = v; }; };
  add_read(app, "--program-dir", text(o.program_dir),
           "the program folder (settings file, 模板/, 已生成/; when it\n"
           "is not writable, those live in the user's XDG folders);\n"
           "default: the folder of this executable")
      ->type_name("DIR");
  add_read(app, "--template", text(o.template_name),
           "the template folder to use instead of the stored choice")
      ->type_name("NAME");
  add_read(app, "--keywords-file", text(o.keywords_file),
           "keyword lines from FILE (GBK, or UTF-8 with a byte-order mark)")
      ->type_name("FILE");
  add_read(
      app, "--short-links", [&o](const std::string& v) { o.short_link_service = short_link_service(v); },
      "shorten links with service N (0 百度, 1 CNZZ, 2 Baid)")
      ->type_name("N");
  add_read(app, "--api", [&o](const std::string& v) { o.api = api_method(v); },
           "the platform interface for this run, as 接口:\n"
           "taobao.taobaoke.items.get or\n"
           "taobao.tbk.dg.material.optional.upgrade")
      ->type_name("METHOD");
  add_read(app, "--gateway", text(o.gateway), "the open platform gateway for this run")->type_name("URL");
  add_read(
      app, "--jobs", [&o](const std::string& v) { o.jobs = small_number("--jobs", v, 1, 16); },
      "requests made at a time, 1 to 16 (default 4; 1 makes\n"
      "them one after another, as a click does)")
      ->type_name("N");
  add_read(
      app, "--retries", [&o](const std::string& v) { o.retries = small_number("--retries", v, 0, 10); },
      "more tries of a call the platform turned away for now\n"
      "(rate limit, service unavailable), 0 to 10 (default 3)")
      ->type_name("N");
  add_read(
      app, "--wait", [&o](const std::string& v) { o.wait = wait_seconds(v); },
      "how long a request may wait for its answer\n"
      "(default 30 for the platform, 90 for link services)")
      ->type_name("SECONDS");
  add_read(
      app, "--replace", [&o](const std::string& v) { o.replace = replace_answer(v); },
      "the answer when a resource file exists already (default all)")
      ->type_name("all|none|cancel");
  app.add_flag("--quiet", o.quiet, "no progress lines and no summary");
  app.set_version_flag("--version", std::string("quillmoor-batch ") + QUILL_VERSION, "the version");
}

// CLI11's words for the two faults every option shares, in this tool's.
std::string usage_message(const CLI::App& app, const CLI::ParseError& error) {
  const std::string what = error.what();
  if (dynamic_cast<const CLI::ExtrasError*>(&error) && !app.remaining().empty())
    return "unknown option " + app.remaining().front();
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) && what.starts_with("--"))
    return what.substr(0, what.find(':')) + " needs a value";
  return what;
}

// Throws UsageError; returns nullopt when --help or --version was answered.
std::optional<Options> parse_options(std::vector<std::string> args) {
  Options options;
  CLI::App app("One generation run over the settings file, as the window's \"生成\" does it.",
               "quillmoor-batch");
  app.footer(
      "Exit status: 0 every page written and no call failed, 1 the template has no\n"
      "product loop, 2 bad usage (an unknown 接口 too, or with the current interface a\n"
      "PID that is no mm_A_B_C or ad zone number), 3 some page could not be written\n"
      "(or the run was interrupted), 4 some call failed (those lines keep their\n"
      "existing pages).");
  app.get_formatter()->column_width(24);
  app.set_help_flag("-h,--help", "this help");
  add_options(app, options);
  std::reverse(args.begin(), args.end());  // CLI11 takes them last first
  try {
    app.parse(std::move(args));
  } catch (const CLI::Success& answered) {  // --help, --version
    app.exit(answered);
    return std::nullopt;
  } catch (const CLI::ParseError& error) {
    throw UsageError{usage_message(app, error)};
  }
  return options;
}

// UTF-8 keyword lines in GBK. A line with a keyword GBK cannot hold is left
// empty, so the run skips it and its page stays as it is, and the keyword goes
// to refused: a "?" in its place would name another page and ask for other items.
Text gbk_keyword_lines(std::string_view utf8, std::vector<std::string>& refused) {
  Text lines;
  for (const Text& line : txt_split(txt_crlf_lines(utf8), "\r\n")) {
    const Text gbk_line = utf8_to_gbk(line);
    if (gbk_to_utf8(gbk_line) == line) {
      lines += gbk_line + "\r\n";
      continue;
    }
    for (const Text& keyword : txt_split(line, ","))
      if (gbk_to_utf8(utf8_to_gbk(keyword)) != keyword) {
        refused.push_back(keyword);
        break;
      }
    lines += "\r\n";
  }
  return lines;
}

// Keyword lines as the keyword box holds them: GBK, lines joined by CR LF.
Text read_keywords_file(const std::string& path, std::vector<std::string>& refused) {
  const Text gbk_path = utf8_to_gbk(path);
  Bytes bytes;
  if (!file_read_or_missing(gbk_path, bytes) || (bytes.empty() && !path_taken(gbk_path)))
    throw UsageError{"cannot read the keywords file " + path};
  const std::string_view data(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  return data.starts_with(kBom) ? gbk_keyword_lines(data.substr(kBom.size()), refused) : txt_crlf_lines(data);
}

// No window: messages go to standard error; a signal stops the run at its next
// wait (the handler only sets a flag).
class BatchHost final : public generator::RunHost, public Waiter {
 public:
  BatchHost(ReplaceAnswer replace, bool quiet) : replace_(replace), quiet_(quiet) {}
  void set_title(const Text&) override {}
  void show_message(const Text& message) override { print(gbk_to_utf8(message) + "\n"); }
  ReplaceAnswer ask_replace(const Text&) override { return replace_; }
  bool pump() override { return false; }
  bool stop_requested() const override { return interrupted; }
  void line_started(int number, int total, const Text& line) override {
    if (quiet_) return;
    print("[" + std::to_string(number) + "/" + std::to_string(total) + "] 正在生成.." + gbk_to_utf8(line) +
          "\n");
  }

 private:
  ReplaceAnswer replace_;
  bool quiet_;
};

Text program_folder(const Options& options) {
  if (!options.program_dir) return exe_directory();
  std::error_code error;
  const auto absolute = std::filesystem::absolute(app::Utf8Path(*options.program_dir), error);
  if (error || !std::filesystem::is_directory(absolute, error))
    throw UsageError{"no such program folder " + *options.program_dir};
  const std::u8string normal = absolute.lexically_normal().u8string();
  std::string path(normal.begin(), normal.end());
  while (path.size() > 1 && (path.back() == '/' || path.back() == kPathSeparator.front())) path.pop_back();
  return utf8_to_gbk(path);
}

void print_summary(const generator::RunSummary& s, double seconds) {
  char elapsed[32];
  std::snprintf(elapsed, sizeof elapsed, "%.3f", seconds);
  print("完成：写入页面 " + std::to_string(s.pages_written) + "，记录 " + std::to_string(s.records) +
        "，无结果的调用 " + std::to_string(s.empty_calls) + "，未能写入的页面 " +
        std::to_string(s.pages_failed) + "，失败的调用 " + std::to_string(s.failed_calls) + "，用时 " +
        elapsed + " 秒\n");
  const Text problems = generator::DescribeProblems(s);
  if (!problems.empty()) print(gbk_to_utf8(txt_replace(problems, "\r\n", "\n")));
}

int run(const Options& options) {
  const Text program_dir = program_folder(options);
  std::optional<Text> keywords;
  std::vector<std::string> refused_keywords;
  if (options.keywords_file) keywords = read_keywords_file(*options.keywords_file, refused_keywords);
  // The window works in its own folder; relative save folders mean the same here.
  std::error_code error;
  std::filesystem::current_path(app::Utf8Path(gbk_to_utf8(program_dir)), error);

  shell::ProgramSession session = shell::OpenProgramFolder(program_dir, NoUiWaiter());
  if (!session.refused.empty()) {
    print(gbk_to_utf8(txt_replace(session.refused, "\r\n", "\n")) + "\n");
    return kExitPagesFailed;
  }
  shell::StoredControls stored = session.restored;
  const TextList& templates = session.templates;
  if (keywords) stored.keywords = *keywords;

  Text template_name = shell::ItemAt(templates, stored.template_index);
  if (options.template_name) {
    template_name = utf8_to_gbk(*options.template_name);
    if (std::find(templates.begin(), templates.end(), template_name) == templates.end())
      throw UsageError{"no template folder named " + *options.template_name};
  }

  generator::RunEnvironment environment = shell::RunEnvironmentOf(session);
  if (options.api) environment.api_method = *options.api;
  if (options.gateway) environment.gateway = utf8_to_gbk(*options.gateway);
  if (options.wait) environment.api_wait = environment.short_link_wait = *options.wait;
  environment.jobs = options.jobs;
  if (options.retries) environment.retries = *options.retries;

  for (const std::string& keyword : refused_keywords)
    print("关键词“" + keyword + "”无法用 GBK 表示，这一行不生成页面\n");
  shell::StoredRunControls controls(std::move(stored), std::move(template_name), options.short_link_service);
  BatchHost host(options.replace, options.quiet);
  const auto started = std::chrono::steady_clock::now();
  const generator::RunSummary summary = generator::RunGeneration({controls, host, environment, host});
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;

  if (summary.refused) return kExitUsage;
  if (summary.no_product_loop) return kExitNoProductLoop;
  if (summary.stopped) print("已中断\n");
  if (!options.quiet) print_summary(summary, elapsed.count());
  if (summary.stopped || summary.pages_failed > 0 || !refused_keywords.empty()) return kExitPagesFailed;
  return summary.failed_calls > 0 ? kExitCallsFailed : kExitOk;
}

}  // namespace
}  // namespace quill

int main(int argc, char** argv) {
  using namespace quill;
  install_out_of_memory_handler();
  app::PrepareConsole();
  std::signal(SIGINT, on_signal);
  std::signal(SIGTERM, on_signal);
  try {
    const auto options = parse_options(app::Utf8Arguments(argc, argv));
    if (!options) return kExitOk;
    return run(*options);
  } catch (const UsageError& e) {
    print("quillmoor-batch: " + e.message + "\n(--help shows the options)\n");
    return kExitUsage;
  }
}
