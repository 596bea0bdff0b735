#pragma once
// A program folder with one template, controls held as plain values (as the
// batch tool holds them) and a host that records what the run showed.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "base/codepage.h"
#include "generator/generation_run.h"
#include "shell/program_folder.h"
#include "shell/settings_file.h"
#include "support/scratch_folder.h"

namespace quill::testing {

using namespace quill::generator;

struct Values {
  Text keywords;
  int sort = 5;
  Text template_name = "small";
  Text save_folder;
  int path_style = 0;
  Text count = "10";
  Text pid = "mm_10_20_30";
  Text app_key = "12345678";
  Text app_secret = "0123456789abcdef0123456789abcdef";
  bool short_links = false;
  int service = 0;
  int picture_size = 3;
};

class ValueControls final : public RunControls {
 public:
  explicit ValueControls(Values& v) : v_(v) {}
  Text keywords() override { return read("keywords", v_.keywords); }
  int sort_index() override { return read("sort", v_.sort); }
  Text template_name() override { return read("template", v_.template_name); }
  Text save_folder() override { return read("save", v_.save_folder); }
  int path_style() override { return read("path_style", v_.path_style); }
  Text item_count() override { return read("count", v_.count); }
  Text pid() override { return read("pid", v_.pid); }
  Text app_key() override { return read("key", v_.app_key); }
  Text app_secret() override { return read("secret", v_.app_secret); }
  bool short_links() override { return read("short_links", v_.short_links); }
  int short_link_service() override { return read("service", v_.service); }
  int picture_size_index() override { return read("picture_size", v_.picture_size); }
  std::map<std::string, int> reads;

 private:
  template <typename T>
  T read(const std::string& name, const T& value) {
    ++reads[name];
    return value;
  }
  Values& v_;
};

class RecordingHost final : public RunHost, public Waiter {
 public:
  void set_title(const Text& title) override { titles.push_back(gbk_to_utf8(title)); }
  void show_message(const Text& message) override { messages.push_back(gbk_to_utf8(message)); }
  bool pump() override {
    ++pumps;
    if (!lines.empty()) ++pumps_in_lines;
    if (stop_after_pumps >= 0 && pumps_in_lines >= stop_after_pumps) stop.request_stop();
    return false;
  }
  bool stop_requested() const override { return stop.stop_requested(); }
  ReplaceAnswer ask_replace(const Text& target) override {
    asked.push_back(gbk_to_utf8(target));
    return answer;
  }
  void line_started(int number, int total, const Text& line) override {
    lines.push_back(std::to_string(number) + "/" + std::to_string(total) + " " + gbk_to_utf8(line));
  }
  ReplaceAnswer answer = ReplaceAnswer::yes_to_all;
  std::vector<std::string> titles, asked, lines, messages;
  int pumps = 0;
  int pumps_in_lines = 0;     // since the first line started
  int stop_after_pumps = -1;  // of those
  std::stop_source stop;
};

inline const char* kSmallTemplate = QUILL_GENERATOR_TEST_DATA "/small_template.htm";

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    write_file(dir / "prog/模板/small/模板文件.htm", read_file(kSmallTemplate));
    write_file(dir / "prog/模板/small/files/s.css", "body{}");
    write_file(dir / "prog/模板/small/files/img/p.png", "png");
    v.save_folder = dir.gbk_path("out");
    env.locate_template = [program = dir.gbk_path("prog")](std::string_view name) {
      return shell::TemplatePathsOf(program, name);
    };
  }

  RunSummary run() {
    ValueControls controls(v);
    const RunSummary s = RunGeneration({controls, host, env, host});
    reads = controls.reads;
    return s;
  }
  // A generated file's GBK bytes given as UTF-8.
  std::string page(const std::string& relative_utf8) {
    return gbk_to_utf8(read_file(dir / ("out/" + relative_utf8)));
  }
  bool exists(const std::string& relative_utf8) { return std::filesystem::exists(dir / relative_utf8); }

  ScratchFolder dir;
  Values v;
  RunEnvironment env;
  RecordingHost host;
  std::map<std::string, int> reads;
};

}  // namespace quill::testing
