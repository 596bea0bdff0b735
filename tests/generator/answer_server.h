#pragma once
// A loopback HTTP server standing in for the platform gateway with answers the
// test writes itself: per keyword, the XML body to send back. It records every
// request's form so a test can look at what was asked.

#include <cctype>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "support/loopback_server.h"

namespace quill::testing {

using Form = std::map<std::string, std::string>;

// "%XX" decoded and "+" read as a space, as a form body is.
inline std::string form_decode(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() &&
               std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
               std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Splits a form body into its decoded name=value pairs.
inline Form parse_form(const std::string& body) {
  Form form;
  std::size_t start = 0;
  while (start <= body.size()) {
    std::size_t end = body.find('&', start);
    if (end == std::string::npos) end = body.size();
    const std::string piece = body.substr(start, end - start);
    const std::size_t eq = piece.find('=');
    if (eq != std::string::npos) form[form_decode(piece.substr(0, eq))] = form_decode(piece.substr(eq + 1));
    start = end + 1;
  }
  return form;
}

struct Record {
  std::string click_url, nick, pic_url, price, score, shop_click_url, title, volume;
};

// One item element with the fields in the platform's alphabetical order; an
// empty field is left out of the element.
inline std::string item_xml(const Record& r) {
  std::string xml = "<taobaoke_item>";
  auto add = [&](const char* name, const std::string& value) {
    if (!value.empty()) xml += std::string("<") + name + ">" + value + "</" + name + ">";
  };
  add("click_url", r.click_url);
  add("commission", "1.00");
  add("item_location", "Hangzhou");
  add("nick", r.nick);
  add("num_iid", "1001");
  add("pic_url", r.pic_url);
  add("price", r.price);
  add("seller_credit_score", r.score);
  add("shop_click_url", r.shop_click_url);
  add("title", r.title);
  add("volume", r.volume);
  return xml + "</taobaoke_item>";
}

inline std::string answer_xml(const std::vector<Record>& records) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"utf-8\" ?><taobaoke_items_get_response><taobaoke_items>";
  for (const Record& r : records) xml += item_xml(r);
  return xml + "</taobaoke_items><total_results>" + std::to_string(records.size()) +
         "</total_results></taobaoke_items_get_response>";
}

class AnswerServer {
 public:
  AnswerServer()
      : server_([this](LoopbackConnection& connection) {
          const Form form = parse_form(RawRequest::parse(connection.request()).body);
          std::string xml;
          {
            std::unique_lock lock(mutex_);
            forms_.push_back(form);
            released_.wait(lock, [this] { return !holding_ || stopping_; });
            if (stopping_) return;
            const auto keyword = form.find("keyword");
            const auto it = keyword == form.end() ? answers_.end() : answers_.find(keyword->second);
            xml = it == answers_.end() ? fallback_ : it->second;
          }
          connection.send(LoopbackServer::ok(xml, "Content-Type: text/xml;charset=UTF-8\r\n"));
        }) {}
  ~AnswerServer() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    released_.notify_all();
  }
  std::string gateway() const { return server_.url("/router/rest?"); }
  // The answer for a keyword given in UTF-8, as the gateway receives it.
  void answer(const std::string& keyword_utf8, const std::string& xml) {
    std::lock_guard lock(mutex_);
    answers_[keyword_utf8] = xml;
  }
  void answer_others(const std::string& xml) {
    std::lock_guard lock(mutex_);
    fallback_ = xml;
  }
  // Calls get no answer until release(): a gateway that accepts and stalls.
  void hold() {
    std::lock_guard lock(mutex_);
    holding_ = true;
  }
  void release() {
    std::lock_guard lock(mutex_);
    holding_ = false;
    released_.notify_all();
  }
  std::vector<Form> forms() {
    std::lock_guard lock(mutex_);
    return forms_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  bool holding_ = false;
  bool stopping_ = false;
  std::map<std::string, std::string> answers_;
  std::string fallback_ = "<error_response><code>15</code><msg>Remote service error</msg></error_response>";
  std::vector<Form> forms_;
  LoopbackServer server_;  // last: stopped first, while the state above still lives
};

}  // namespace quill::testing
