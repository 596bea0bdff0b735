// The words a run uses to say what went wrong.
#include <algorithm>

#include "base/codepage.h"
#include "base/convert.h"
#include "generator/generation_run.h"

namespace quill::generator {
namespace {

constexpr std::size_t kListedProblems = 5;

void list_some(Text& out, const std::vector<Problem>& problems) {
  const std::size_t shown = std::min(problems.size(), kListedProblems);
  for (std::size_t i = 0; i < shown; ++i)
    out += txt_join("  ", problems[i].what, gbk("："), problems[i].why, "\r\n");
  if (problems.size() > shown) out += txt_join("  ", gbk("……"), "\r\n");
}

}  // namespace

Text CallFailureText(const openapi::ApiOutcome& outcome, openapi::ApiInterface api) {
  Text text = outcome.reason();
  if (!outcome.error_answer) return text;
  const Text msg = txt_lower(outcome.msg), sub_code = txt_lower(outcome.sub_code);
  const auto names = [&](std::string_view word) {
    return txt_find(msg, word) > 0 || txt_find(sub_code, word) > 0;
  };
  if (outcome.code == "22" || names("invalid method") || names("invalid-method") || names("method-not"))
    return text + txt_join(gbk("：开放平台不认识接口 "), openapi::MethodName(api),
                           gbk("，请在设置的“网络”中更换“接口”"));
  if (api == openapi::ApiInterface::material_optional && names("permission"))
    return text + gbk("：应用缺少权限包「淘宝客【推广者】商品物料获取」，请在开放平台为应用申请");
  return text;
}

Text SkipReasonText(SkipReason reason) {
  switch (reason) {
    case SkipReason::link_outside:
      return gbk("链接指向模板之外");
    case SkipReason::not_regular_file:
      return gbk("不是普通文件");
    case SkipReason::name_not_in_code_page:
      return gbk("名称无法用 GBK 表示");
    case SkipReason::unreadable:
      return gbk("无法读取");
    case SkipReason::unwritable:
      break;
  }
  return gbk("无法写入");
}

Text DescribeProblems(const RunSummary& s) {
  Text out;
  if (!s.line_problems.empty()) {
    out += txt_join(to_text(static_cast<int>(s.line_problems.size())), gbk(" 行未能按要求生成"));
    if (s.failed_calls > 0) out += txt_join(gbk("（"), to_text(s.failed_calls), gbk(" 次调用失败）"));
    out += "\r\n";
    list_some(out, s.line_problems);
    if (s.pages_kept > 0)
      out += txt_join(gbk("已保留原有页面 "), to_text(s.pages_kept), gbk(" 个。"), "\r\n");
  }
  for (const auto& outage : s.short_link_outages)
    out += txt_join(gbk("短网址服务“"), shortlink::ServiceName(outage.service), gbk("”无回应（"),
                    net::FailureText(outage.failure), gbk("），其后的链接未缩短。"), "\r\n");
  if (!s.skipped_resources.empty()) {
    out += txt_join(gbk("未发布的资源文件 "), to_text(static_cast<int>(s.skipped_resources.size())),
                    gbk(" 个："), "\r\n");
    list_some(out, s.skipped_resources);
  }
  return out;
}

}  // namespace quill::generator
