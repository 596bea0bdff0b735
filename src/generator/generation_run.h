#pragma once
// The generation run: keyword lines to pages. It reads the window's values
// through RunControls at the moments a click on "生成" reads them, and reaches
// the user interface only through RunHost and the base UI hooks.

#include "base/text.h"
#include "generator/folder_copy.h"
#include "openapi/endpoints.h"

namespace quill {

class RunControls {
 public:
  virtual ~RunControls() = default;
  virtual Text keywords() = 0;
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
  virtual Text picture_size_text() = 0;  // the selected item's text, "" when none
};

class RunHost {
 public:
  virtual ~RunHost() = default;
  virtual void set_title(const Text& title) = 0;
  virtual ReplaceAnswer ask_replace(const Text& target) = 0;
  // Before each keyword line that gets a page (1-based number of all lines).
  virtual void line_started(int /*number*/, int /*total*/, const Text& /*line*/) {}
};

struct RunEnvironment {
  Text program_dir;  // holds the templates folder
  Endpoints endpoints;
};

struct RunSummary {
  bool no_product_loop = false;
  bool stopped = false;  // the user asked the program to end mid-run
  int pages_written = 0;
  int pages_failed = 0;
  int records = 0;
  int empty_calls = 0;
};

RunSummary RunGeneration(RunControls& controls, RunHost& host, const RunEnvironment& environment);

}  // namespace quill
