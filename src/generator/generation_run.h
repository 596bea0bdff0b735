#pragma once
// The generation run: keyword lines to pages. It reads the window's values
// through RunControls at the moments a click on "生成" reads them and reaches
// the user interface only through its RunHost; it waits through the caller's
// Waiter. Once the waiter asks for a stop the run touches neither controls nor
// host again and ends at its next wait.

#include <chrono>
#include <functional>
#include <vector>

#include "base/text.h"
#include "base/wait.h"
#include "generator/folder_copy.h"
#include "net/http.h"
#include "openapi/api_call.h"
#include "openapi/api_interface.h"
#include "shortlink/short_link.h"

namespace quill::generator {

class RunControls {
 public:
  virtual ~RunControls() = default;
  virtual Text keywords() = 0;  // lines joined by CR LF
  virtual int sort_index() = 0;
  virtual Text template_name() = 0;  // the selected item's text, "" when none
  virtual Text save_folder() = 0;
  virtual int path_style() = 0;  // -1 none, 0 "关键词.htm", 1 "关键词\index.htm"
  virtual Text item_count() = 0;
  virtual Text pid() = 0;
  virtual Text app_key() = 0;
  virtual Text app_secret() = 0;
  virtual bool short_links() = 0;
  virtual int short_link_service() = 0;
  virtual int picture_size_index() = 0;
};

class RunHost {
 public:
  virtual ~RunHost() = default;
  virtual void set_title(const Text& title) = 0;
  virtual void show_message(const Text& message) = 0;
  virtual ReplaceAnswer ask_replace(const Text& target) = 0;
  // Before each keyword line that gets a page (1-based number of all lines).
  virtual void line_started(int /*number*/, int /*total*/, const Text& /*line*/) {}
};

// Where a template keeps its page and its resource folder.
struct TemplatePaths {
  Text page_file;
  Text resource_folder;
};

struct RunEnvironment {
  // The paths of the template of a given name; an empty name gives paths that
  // do not exist.
  std::function<TemplatePaths(std::string_view name)> locate_template;
  // The platform interface's method name ("" for taobao.taobaoke.items.get);
  // a run with a name openapi::ParseInterface refuses sends nothing.
  Text api_method;
  Text gateway;  // "" for the interface's own gateway
  shortlink::Services short_link_services;
  Text picture_host = "pics.taobaocdn.com";
  Text ca_file;  // certificates for https addresses, "" for the system's
  std::chrono::milliseconds api_wait = openapi::kApiWait;
  std::chrono::milliseconds short_link_wait = shortlink::kShortLinkWait;
  int jobs = 1;     // requests made at a time
  int retries = 3;  // more tries of a call the platform turned away for now
};

struct RunContext {
  RunControls& controls;
  RunHost& host;
  const RunEnvironment& environment;
  Waiter& waiter;  // keeps the user interface alive; its stop ends the run
};

// Something the run could not do as asked, and why (GBK): a line, or a
// resource entry that was not published.
struct Problem {
  Text what;
  Text why;
};

struct RunSummary {
  bool no_product_loop = false;
  bool refused = false;  // a setting the run cannot use: nothing sent, nothing written
  bool stopped = false;  // the caller asked the run to end before it was done
  int pages_written = 0;
  int pages_failed = 0;  // could not be written
  int pages_kept = 0;    // an existing page kept because a call failed
  int records = 0;
  int empty_calls = 0;
  int failed_calls = 0;
  int failed_lines = 0;                // lines with at least one failed call
  std::vector<Problem> line_problems;  // in line order
  std::vector<Problem> skipped_resources;
  std::vector<shortlink::LinkShortener::Outage> short_link_outages;
};

RunSummary RunGeneration(const RunContext& context);

// What went wrong in a run, for the one message at its end (GBK); "" when
// nothing did.
Text DescribeProblems(const RunSummary& summary);
// Why a call failed (GBK), with what the user can do about it when the
// platform's error says: a permission the key lacks, a method it does not know.
Text CallFailureText(const openapi::ApiOutcome& outcome, openapi::ApiInterface api);
// Why a resource entry was not published (GBK).
Text SkipReasonText(SkipReason reason);

}  // namespace quill::generator
