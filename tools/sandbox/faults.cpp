#include "faults.h"

#include <algorithm>
#include <cstdlib>

#include "items.h"

namespace sandbox {

namespace {

std::string call_limit_answer(const std::string& format, int ban_seconds) {
  return error_answer_for(format, 7, error_message(7), "accesscontrol.limited-by-app-access-count",
                          "This ban will last for " + std::to_string(ban_seconds) + " more seconds");
}

}  // namespace

std::optional<int> KeyRateLimit::refuse(const std::string& key, Clock::time_point now) {
  std::lock_guard lock(mutex_);
  Bucket& bucket = buckets_.try_emplace(key, Bucket{rate_, now, now}).first->second;
  const double refill = rate_ * std::chrono::duration<double>(now - bucket.refilled).count();
  bucket.tokens = std::min(rate_, bucket.tokens + refill);
  bucket.refilled = now;
  if (now >= bucket.banned_until && bucket.tokens >= 1) {
    bucket.tokens -= 1;
    return std::nullopt;
  }
  if (now >= bucket.banned_until) bucket.banned_until = now + std::chrono::seconds(1);
  const auto left = std::chrono::ceil<std::chrono::seconds>(bucket.banned_until - now);
  return static_cast<int>(std::max<long long>(1, left.count()));
}

std::optional<std::string> GatewayFaults::answer_instead(const Params& params) {
  const Options& o = options_;
  const std::string format = find_param(params, "format").value_or("xml");
  if (o.error_code >= 0)
    return error_answer_for(format, o.error_code, error_message(o.error_code), o.error_sub_code,
                            o.error_sub_msg);
  if (o.rate > 0) {
    const auto ban = rate_limit_.refuse(find_param(params, "app_key").value_or(""), KeyRateLimit::Clock::now());
    if (ban) return call_limit_answer(format, *ban);
  }
  if (o.rate_limit == 0 && o.isp_unavailable == 0) return std::nullopt;
  int call = 0;
  {
    std::lock_guard lock(mutex_);
    const auto keyword = find_param(params, "keyword");
    call = ++calls_by_keyword_[keyword ? *keyword : find_param(params, "q").value_or("")];
  }
  if (call <= o.rate_limit) return call_limit_answer(format, o.ban_seconds);
  if (call - o.rate_limit <= o.isp_unavailable) {
    return error_answer_for(format, 15, error_message(15), "isp.remote-service-unavailable",
                            "The remote service is temporarily unavailable");
  }
  return std::nullopt;
}

bool parse_forced_error(const std::string& text, Options& options) {
  const std::size_t first_colon = text.find(':');
  const std::string code = text.substr(0, first_colon);
  if (code.empty() || code.size() > 5 || code.find_first_not_of("0123456789") != std::string::npos)
    return false;
  options.error_code = std::atoi(code.c_str());
  options.error_sub_code.clear();
  options.error_sub_msg.clear();
  if (first_colon == std::string::npos) return true;
  const std::string rest = text.substr(first_colon + 1);
  const std::size_t second_colon = rest.find(':');
  options.error_sub_code = rest.substr(0, second_colon);
  options.error_sub_msg = second_colon == std::string::npos ? "sandbox error " + options.error_sub_code
                                                            : rest.substr(second_colon + 1);
  return !options.error_sub_code.empty();
}

}  // namespace sandbox
