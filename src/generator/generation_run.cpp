#include "generator/generation_run.h"

#include <algorithm>

#include "base/codepage.h"
#include "base/convert.h"
#include "base/fs.h"
#include "generator/answer_records.h"
#include "generator/api_request.h"
#include "generator/credit_badge.h"
#include "generator/material_records.h"
#include "generator/run_choices.h"
#include "generator/template_format.h"
#include "openapi/api_call.h"
#include "openapi/async_call.h"

namespace quill::generator {
namespace {

constexpr int kMaxItems = 40;
constexpr std::string_view kResourceFolder = "files";

// A page path leaves the save folder when the line is absolute or climbs out
// with a ".." segment; such a line gets no page.
bool StaysInside(std::string_view relative) {
  if (relative.empty()) return false;
  if (relative.front() == '/' || relative.front() == '\\') return false;
  if (relative.size() >= 2 && relative[1] == ':') return false;
  for (std::string_view separator : {std::string_view("/"), std::string_view("\\")})
    for (const Text& segment : txt_split(relative, separator))
      if (segment == "..") return false;
  return true;
}

// Why a page could not be written. A separator in the line names a folder
// (only the save folder and the line's own are made), which is the usual cause.
Text PageWriteFailure(std::string_view line, std::string_view why) {
  Text text = txt_join(gbk("无法写入页面："), why);
  for (std::string_view separator : {std::string_view("/"), kPathSeparator}) {
    if (txt_find(line, separator) < 1) continue;
    return txt_join(text, gbk("（名称中的“"), separator, gbk("”表示文件夹）"));
  }
  return text;
}

// The most records one answer may put on a page: what was asked for, and the
// platform's own page size when the count asks for nothing sensible.
int RecordLimit(int count) { return count >= 1 ? count : kMaxItems; }

// The caller's waiter, pumped no more once it has asked for a stop: the
// window may be going away.
class RunWaiter final : public Waiter {
 public:
  explicit RunWaiter(Waiter& caller) : caller_(caller) {}
  bool pump() override { return !caller_.stop_requested() && caller_.pump(); }
  bool stop_requested() const override { return caller_.stop_requested(); }
  bool pumps_message_queue() const override { return caller_.pumps_message_queue(); }
  Clock::time_point now() const override { return caller_.now(); }
  void rest(std::chrono::milliseconds slice) override { caller_.rest(slice); }

 private:
  Waiter& caller_;
};

class Run {
 public:
  explicit Run(const RunContext& context)
      : controls_(context.controls),
        host_(context.host),
        env_(context.environment),
        waiter_(context.waiter),
        jobs_(std::max(env_.jobs, 1)),
        calls_(net::Channel{&waiter_, env_.api_wait, env_.ca_file},
               openapi::RetryPolicy{.retries = env_.retries}, jobs_),
        shortener_(env_.short_link_services, net::Channel{&waiter_, env_.short_link_wait, env_.ca_file}) {}

  RunSummary go() {
    if (!choose_interface()) {
      summary_.refused = true;
      return summary_;
    }
    lines_ = txt_split(controls_.keywords(), "\r\n");
    const TextList& lines = lines_;
    sort_ = material() ? MaterialSortValue(controls_.sort_index()) : SortValue(controls_.sort_index());
    template_ = PrepareTemplate(bytes_to_text(file_read_all(template_paths().page_file)));
    if (template_.item_section.empty()) {
      static const Text message = gbk("当前选择的模板没有商品循环段落！");
      host_.show_message(message);
      summary_.no_product_loop = true;
      return summary_;
    }
    save_folder_ = controls_.save_folder();
    if (txt_right(save_folder_, 1) != kPathSeparator) save_folder_ += kPathSeparator;
    if (controls_.path_style() == 0) copy_resources(txt_join(save_folder_, kResourceFolder));
    count_ = std::min(to_int32(controls_.item_count()), kMaxItems);

    const int total = static_cast<int>(lines.size());
    for (int number = 1; number <= total && !stopping(); ++number) {
      const Text line = txt_trim(lines[static_cast<std::size_t>(number - 1)]);
      if (line.empty()) continue;
      run_line(number, total, line);
    }
    summary_.short_link_outages = shortener_.outages();
    if (!stopping()) host_.set_title("Quillmoor");
    return summary_;
  }

 private:
  bool material() const { return api_ == openapi::ApiInterface::material_optional; }

  // The interface and its gateway; false, with the message that says why, when
  // the settings leave nothing sensible to send.
  bool choose_interface() {
    const auto api = openapi::ParseInterface(env_.api_method);
    if (!api) {
      host_.show_message(Text(openapi::InterfaceChoiceMessage()));
      return false;
    }
    api_ = *api;
    gateway_ = env_.gateway.empty() ? Text(openapi::DefaultGateway(api_)) : env_.gateway;
    if (material() && !AdzoneId(controls_.pid())) {
      host_.show_message(Text(PidFormMessage()));
      return false;
    }
    return true;
  }

  bool stopping() {
    if (waiter_.stop_requested()) summary_.stopped = true;
    return summary_.stopped;
  }

  TemplatePaths template_paths() {
    const Text name = controls_.template_name();
    return env_.locate_template ? env_.locate_template(name) : TemplatePaths{};
  }

  void copy_resources(const Text& destination) {
    const Text source = template_paths().resource_folder;
    const CopyReport report = CopyFolderContents(
        source, destination, [this](const Text& target) { return host_.ask_replace(target); }, waiter_);
    for (const SkippedEntry& entry : report.skipped)
      summary_.skipped_resources.push_back({entry.path, SkipReasonText(entry.reason)});
  }

  void run_line(int number, int total, const Text& line) {
    host_.line_started(number, total, line);
    static const Text progress = gbk("正在生成..");
    host_.set_title(txt_join(progress, line));
    Text items;
    Text failure;  // why the first failed call of the line failed
    for (const Text& keyword : txt_split(line, ",")) {
      if (stopping()) return;
      walk_answer(keyword, items, failure);
    }
    if (stopping()) return;  // a page cut short by a stop is not written
    write_page(line, FillPage(template_.page_template, line, items), failure);
  }

  // Queues the call of the next keyword in line order, reading the key, secret
  // and PID as that call is made; false when no keyword is left.
  bool plan_next_call() {
    while (plan_keyword_ >= plan_keywords_.size()) {
      if (plan_line_ >= lines_.size()) return false;
      const Text line = txt_trim(lines_[plan_line_++]);
      plan_keywords_ = line.empty() ? TextList() : txt_split(line, ",");
      plan_keyword_ = 0;
    }
    const Text& keyword = plan_keywords_[plan_keyword_++];
    openapi::ApiRequest request;
    const int page_size = material() ? RecordLimit(count_) : count_;
    request.business = BusinessParams(api_, {keyword, controls_.pid(), sort_, page_size});
    request.app_key = controls_.app_key();
    request.app_secret = controls_.app_secret();
    request.gateway = gateway_;
    request.method = Text(openapi::MethodName(api_));
    request.format = Text(openapi::AnswerFormat(api_));
    calls_.add(std::move(request));
    return true;
  }

  // The answer for the next keyword; the calls of up to jobs - 1 keywords after
  // it are on their way meanwhile (one job: each call is made when it is due).
  openapi::ApiResult next_answer() {
    const std::size_t index = calls_taken_++;
    while (calls_.size() < index + static_cast<std::size_t>(jobs_) && plan_next_call()) {
    }
    return calls_.take(index);
  }

  void walk_answer(const Text& keyword, Text& items, Text& line_failure) {
    openapi::ApiResult result = next_answer();
    if (stopping()) return;
    if (result.outcome.failed()) {
      ++summary_.failed_calls;
      if (line_failure.empty()) line_failure = CallFailureText(result.outcome, api_);
    }
    std::vector<AnswerRecord> records = material() ? ReadMaterialRecords(result.answer, RecordLimit(count_))
                                                   : ReadRecords(result.answer, RecordLimit(count_));
    // Several jobs: the answer's links go to the service together, before the
    // blocks are filled; one job keeps the one-by-one order of a click.
    const bool together = jobs_ > 1 && controls_.short_links();
    if (together) shorten_together(records);
    if (stopping()) return;
    int rank = 0;
    for (AnswerRecord& record : records) {
      Text block = fill_record(record, keyword, rank + 1, !together);
      if (stopping()) return;
      ++rank;
      items += block;
      items += "\r\n";
    }
    summary_.records += rank;
    if (rank == 0) ++summary_.empty_calls;
  }

  void shorten_together(std::vector<AnswerRecord>& records) {
    const bool shop_links = txt_find(template_.item_section, Markers().shop_link) > 0;
    std::vector<Text*> links;
    for (AnswerRecord& record : records) {
      links.push_back(&record.click_url);
      if (shop_links) links.push_back(&record.shop_click_url);
    }
    shortener_.ShortenAll(links, controls_.short_link_service(), jobs_);
  }

  Text fill_record(AnswerRecord& record, const Text& keyword, int rank, bool shorten) {
    ItemFields fields;
    if (shorten && controls_.short_links())
      shortener_.Shorten(record.click_url, controls_.short_link_service());
    if (stopping()) return {};
    fields.link = std::move(record.click_url);
    fields.nick = std::move(record.nick);
    // A picture refused as malformed stays empty rather than become a bare suffix.
    if (!material() || !record.pic_url.empty())
      fields.picture = record.pic_url + PictureSuffix(controls_.picture_size_index());
    fields.price = std::move(record.price);
    // The current interface's answer has no credit score to show.
    if (!material()) fields.badge = CreditBadgeUrl(to_int32(record.credit_score), env_.picture_host);
    fields.shop_link = std::move(record.shop_click_url);
    fields.title = std::move(record.title);
    fields.volume = std::move(record.volume);
    fields.keyword = keyword;
    fields.rank = rank;
    if (!shorten) return FillItemBlock(template_.item_section, fields);
    return FillItemBlock(template_.item_section, fields, [this](Text& shop_link) {
      if (controls_.short_links()) shortener_.Shorten(shop_link, controls_.short_link_service());
    });
  }

  void write_page(const Text& line, const Text& page, const Text& call_failure) {
    const bool in_folder = controls_.path_style() == 1;
    const Text relative = in_folder ? txt_join(line, kPathSeparator, "index.htm") : txt_join(line, ".htm");
    if (line.find('\0') != Text::npos) return page_failed(line, gbk("名称含有空字符"));
    if (const Text refused = refused_name_character(line); !refused.empty())
      return page_failed(line, txt_join(gbk("名称含有文件名不能用的字符“"), refused, gbk("”")));
    if (!StaysInside(relative)) return page_failed(line, gbk("路径超出保存目录"));
    const Text page_folder = in_folder ? txt_join(save_folder_, line, kPathSeparator) : save_folder_;
    // Read again rather than reusing in_folder: a click reads the choice at the copy too.
    if (controls_.path_style() == 1)
      copy_resources(txt_join(save_folder_, line, kPathSeparator, kResourceFolder));
    if (stopping()) return;
    const Text path = txt_join(save_folder_, relative);
    if (!call_failure.empty()) {
      ++summary_.failed_lines;
      summary_.line_problems.push_back({line, call_failure});
      // An outage must not empty a good page: keep it as it is.
      if (path_taken(path)) {
        ++summary_.pages_kept;
        return;
      }
    }
    MakeFolderPath(page_folder);
    Text why;
    if (file_write_all(path, text_to_bytes(page), &why))
      ++summary_.pages_written;
    else
      page_failed(line, PageWriteFailure(line, why));
  }

  void page_failed(const Text& line, Text why) {
    ++summary_.pages_failed;
    summary_.line_problems.push_back({line, std::move(why)});
  }

  RunControls& controls_;
  RunHost& host_;
  const RunEnvironment& env_;
  RunWaiter waiter_;
  int jobs_;
  openapi::ApiCallQueue calls_;
  shortlink::LinkShortener shortener_;
  TextList lines_;
  // Where the queueing of calls has got to: the line after the one planned, its
  // keywords, the next of them; and how many answers the lines have taken.
  std::size_t plan_line_ = 0;
  TextList plan_keywords_;
  std::size_t plan_keyword_ = 0;
  std::size_t calls_taken_ = 0;
  RunSummary summary_;
  openapi::ApiInterface api_ = openapi::ApiInterface::items_get;
  Text gateway_;
  Text sort_;
  PreparedTemplate template_;
  Text save_folder_;
  int count_ = 0;
};

}  // namespace

RunSummary RunGeneration(const RunContext& context) { return Run(context).go(); }

}  // namespace quill::generator
