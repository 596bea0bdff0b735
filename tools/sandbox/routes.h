#pragma once
// What the sandbox answers, independent of the HTTP server around it.

#include <ctime>
#include <string>
#include <string_view>

#include "form.h"

namespace sandbox {

struct Options {
  int port = 0;
  std::string port_file;
  std::string key = "31415926";
  std::string secret = "5f0c2a9e7b13d4866e1fa0b2c9d34e57";
  std::string log_file;
  int slow_ms = 0;
  bool drop = false;
  bool truncate = false;
  bool huge_body = false;
  bool invalid_utf8 = false;
  bool shortener_down = false;
  bool no_permission = false;  // the current interface answers with the permission error
  int items = 100;             // size of each keyword's catalogue
  bool all_items = false;      // the whole catalogue in one answer, whatever the page asks
  int drip_ms = 0;             // 0: answer at once
  bool hang = false;
  bool reset_mid_body = false;
  bool endless = false;
  bool shortener_hang = false;
  int error_code = -1;  // -1: no forced error answer
  std::string error_sub_code;
  std::string error_sub_msg;
  int rate_limit = 0;       // rate-limit answers per keyword before the real one
  int isp_unavailable = 0;  // then this many "remote service unavailable" answers
  int ban_seconds = 1;
  int rate = 0;  // calls a key may make a second (a bucket of rate, 1-second bans); 0: no limit
  bool tls = false;
  std::string cert_file;
  std::string lease_file;  // "": runs until a signal ends it
};

// The gateway's answer to one decoded form: an item list or an error_response,
// for taobao.taobaoke.items.get in XML, for taobao.tbk.dg.material.optional.upgrade
// in JSON.
// now is the current time (seconds since the epoch).
std::string gateway_answer(const Params& params, const Options& options, const std::string& base_url,
                           std::time_t now);

// A short code derived from the link alone, so a link always gets the same one.
std::string short_code(std::string_view link);
// The three short-link services' answers for a long link ("" = parameter missing).
std::string create_php_answer(std::string_view link, const std::string& base_url);
std::string dispatcher_answer(std::string_view link, const std::string& base_url);
std::string root_answer(std::string_view link, const std::string& base_url);

}  // namespace sandbox
