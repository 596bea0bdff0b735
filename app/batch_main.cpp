// quillmoor-batch: one generation run from the command line, exactly as a click
// on "生成" makes it, over the settings the window restores at its start.

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

constexpr std::string_view kUsage =
    "usage: quillmoor-batch [options]\n"
    "One generation run over the settings file, as the window's \"生成\" does it.\n"
    "\n"
    "  --program-dir DIR     the program folder (settings file, 模板/, 已生成/; when it\n"
    "                        is not writable, those live in the user's XDG folders);\n"
    "                        default: the folder of this executable\n"
    "  --template NAME       the template folder to use instead of the stored choice\n"
    "  --keywords-file FILE  keyword lines from FILE (GBK, or UTF-8 with a byte-order mark)\n"
    "  --short-links N       shorten links with service N (0 百度, 1 CNZZ, 2 Baid)\n"
    "  --gateway URL         the open platform gateway for this run\n"
    "  --jobs N              requests made at a time, 1 to 16 (default 4; 1 makes\n"
    "                        them one after another, as a click does)\n"
    "  --retries N           more tries of a call the platform turned away for now\n"
    "                        (rate limit, service unavailable), 0 to 10 (default 3)\n"
    "  --wait SECONDS        how long a request may wait for its answer\n"
    "                        (default 30 for the platform, 90 for link services)\n"
    "  --replace all|none|cancel\n"
    "                        the answer when a resource file exists already (default all)\n"
    "  --quiet               no progress lines and no summary\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 every page written and no call failed, 1 the template has no\n"
    "product loop, 2 bad usage, 3 some page could not be written (or the run was\n"
    "interrupted), 4 some call failed (those lines keep their existing pages).\n";

std::atomic<bool> interrupted{false};

void on_signal(int) { interrupted = true; }

void print(std::string_view utf8) {
  std::fwrite(utf8.data(), 1, utf8.size(), stderr);
  std::fflush(stderr);
}

struct Options {
  std::optional<std::string> program_dir, template_name, keywords_file, gateway;
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

std::optional<ReplaceAnswer> parse_replace(std::string_view value) {
  if (value == "all") return ReplaceAnswer::yes_to_all;
  if (value == "none") return ReplaceAnswer::no_to_all;
  if (value == "cancel") return ReplaceAnswer::cancel;
  return std::nullopt;
}

// A whole number from low to high, or a UsageError naming the option.
int small_number(const std::string& option, const std::string& text, int low, int high) {
  char* end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || n < low || n > high)
    throw UsageError{option + " takes a number from " + std::to_string(low) + " to " + std::to_string(high)};
  return static_cast<int>(n);
}

// Throws UsageError; returns nullopt when --help or --version was answered.
std::optional<Options> parse_options(const std::vector<std::string>& args) {
  Options options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    std::optional<std::string> inline_value;
    if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
      inline_value = arg.substr(eq + 1);
      arg.resize(eq);
    }
    auto value = [&]() -> std::string {
      if (inline_value) return *inline_value;
      if (i + 1 >= args.size()) throw UsageError{arg + " needs a value"};
      return args[++i];
    };
    if (arg == "--help" || arg == "-h") {
      std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
      return std::nullopt;
    } else if (arg == "--version") {
      std::printf("quillmoor-batch %s\n", QUILL_VERSION);
      return std::nullopt;
    } else if (arg == "--quiet" && !inline_value) {
      options.quiet = true;
    } else if (arg == "--program-dir") {
      options.program_dir = value();
    } else if (arg == "--template") {
      options.template_name = value();
    } else if (arg == "--keywords-file") {
      options.keywords_file = value();
    } else if (arg == "--gateway") {
      options.gateway = value();
    } else if (arg == "--jobs") {
      options.jobs = small_number(arg, value(), 1, 16);
    } else if (arg == "--retries") {
      options.retries = small_number(arg, value(), 0, 10);
    } else if (arg == "--wait") {
      const std::string text = value();
      char* end = nullptr;
      const double seconds = std::strtod(text.c_str(), &end);
      if (text.empty() || *end != '\0' || !(seconds > 0 && seconds <= 3600))
        throw UsageError{"--wait takes a number of seconds from 0 to 3600"};
      options.wait = std::chrono::milliseconds(std::max<long long>(1, std::llround(seconds * 1000)));
    } else if (arg == "--short-links") {
      const std::string n = value();
      if (n != "0" && n != "1" && n != "2") throw UsageError{"--short-links takes 0, 1 or 2"};
      options.short_link_service = n[0] - '0';
    } else if (arg == "--replace") {
      const auto answer = parse_replace(value());
      if (!answer) throw UsageError{"--replace takes all, none or cancel"};
      options.replace = *answer;
    } else {
      throw UsageError{"unknown option " + arg};
    }
  }
  return options;
}

// Keyword lines as the keyword box holds them: GBK, lines joined by CR LF.
Text read_keywords_file(const std::string& path) {
  const Text gbk_path = utf8_to_gbk(path);
  Bytes bytes;
  if (!file_read_or_missing(gbk_path, bytes) || (bytes.empty() && !path_taken(gbk_path)))
    throw UsageError{"cannot read the keywords file " + path};
  const std::string_view data(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  return txt_crlf_lines(data.starts_with(kBom) ? utf8_to_gbk(data.substr(kBom.size())) : Text(data));
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
  if (options.keywords_file) keywords = read_keywords_file(*options.keywords_file);
  // The window works in its own folder; relative save folders mean the same here.
  std::error_code error;
  std::filesystem::current_path(app::Utf8Path(gbk_to_utf8(program_dir)), error);

  shell::ProgramSession session = shell::OpenProgramFolder(program_dir, NoUiWaiter());
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
  if (options.gateway) environment.gateway = utf8_to_gbk(*options.gateway);
  if (options.wait) environment.api_wait = environment.short_link_wait = *options.wait;
  environment.jobs = options.jobs;
  if (options.retries) environment.retries = *options.retries;

  shell::StoredRunControls controls(std::move(stored), std::move(template_name), options.short_link_service);
  BatchHost host(options.replace, options.quiet);
  const auto started = std::chrono::steady_clock::now();
  const generator::RunSummary summary = generator::RunGeneration({controls, host, environment, host});
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;

  if (summary.no_product_loop) return kExitNoProductLoop;
  if (summary.stopped) print("已中断\n");
  if (!options.quiet) print_summary(summary, elapsed.count());
  if (summary.stopped || summary.pages_failed > 0) return kExitPagesFailed;
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
