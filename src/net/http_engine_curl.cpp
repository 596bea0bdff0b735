// The transfer engine on libcurl: one thread drives every transfer through one
// multi handle, so transfers run side by side and reuse each other's connections.

#include <curl/curl.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "base/codepage.h"
#include "net/http_engine.h"

namespace quill::net {

namespace {

// What the engine keeps for one transfer while curl runs it.
struct Running {
  std::shared_ptr<Exchange> exchange;
  curl_slist* headers = nullptr;
  std::string ca_path;  // the certificate file in the system's encoding
  Bytes body;
  BytesInFlight held;
  bool too_large = false;
};

std::size_t write_body(char* data, std::size_t size, std::size_t count, void* user) {
  auto* running = static_cast<Running*>(user);
  const std::size_t n = size * count;
  if (running->body.size() + n > kMaxBodyBytes || !running->held.take(n)) {
    // At once, not when curl reports the end: the others in the same round may go on.
    running->body = Bytes();
    running->held.give_back();
    running->too_large = true;
    return 0;  // ends the transfer with an error
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
  running->body.insert(running->body.end(), bytes, bytes + n);
  return n;
}

// The browser-like header block, in this order; curl's own Accept and Expect are
// replaced so that nothing else goes out but Host, User-Agent and Content-*.
// curl adds Content-Length itself, and only to the POST, so a redirect that
// turns into a GET does not announce a body it lacks.
curl_slist* request_headers(const Request& request, bool post) {
  const std::string lines[] = {
      "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
      "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*",
      "Referer: " + request.url,
      "Accept-Language: zh-cn",
      post && !request.body.empty() ? "Content-Type: application/x-www-form-urlencoded" : "Content-Type:",
      "Expect:",
  };
  curl_slist* list = nullptr;
  for (const std::string& line : lines) {
    curl_slist* grown = curl_slist_append(list, line.c_str());
    if (!grown) {
      curl_slist_free_all(list);
      return nullptr;
    }
    list = grown;
  }
  return list;
}

// Without CURLOPT_COOKIEFILE curl keeps no cookies: no caller needs any.
void configure(CURL* easy, Running& running) {
  const Request& request = running.exchange->request;
  const long wait_ms = static_cast<long>(request.wait.count());
  curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_PROXY, "");
  curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, running.headers);
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
  // curl's defaults already, stated so that no build or environment can relax them.
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!request.ca_file.empty()) {
    running.ca_path = gbk_to_utf8(request.ca_file);
    curl_easy_setopt(easy, CURLOPT_CAINFO, running.ca_path.c_str());
  }
  // However a server dribbles its answer, the transfer ends by the ceiling; one
  // that moves nothing for a whole wait time ends sooner.
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, wait_ms);
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, wait_ms * kCeilingFactor);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, std::max(1L, wait_ms / 1000));
  curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxBodyBytes));
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &write_body);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &running);
  curl_easy_setopt(easy, CURLOPT_PRIVATE, &running);
  if (txt_upper(request.method) == "POST") {
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.data());
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
  }
}

Failure failure_of(CURLcode code, bool too_large) {
  if (too_large) return Failure::too_large;
  switch (code) {
    case CURLE_OK:
      return Failure::none;
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
      return Failure::refused;
    case CURLE_OPERATION_TIMEDOUT:
      return Failure::timed_out;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
      return Failure::cut_off;
    case CURLE_FILESIZE_EXCEEDED:
      return Failure::too_large;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
      return Failure::bad_request;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
      return Failure::tls;
    default:
      return Failure::other;
  }
}

class Engine {
 public:
  static Engine& get() {
    static Engine engine;
    return engine;
  }

  void submit(std::shared_ptr<Exchange> exchange) {
    {
      std::lock_guard lock(mutex_);
      if (!multi_ || stopping_) {
        exchange->finish({{}, 0, Failure::other});
        return;
      }
      incoming_.push_back(std::move(exchange));
    }
    curl_multi_wakeup(multi_);
  }

  void wake() {
    if (multi_) curl_multi_wakeup(multi_);
  }

 private:
  Engine() {
    curl_global_init(CURL_GLOBAL_ALL);
    multi_ = curl_multi_init();
    if (multi_) thread_ = std::thread([this] { serve(); });
  }

  // At exit: every transfer still running ends as stopped, the thread is joined
  // before curl goes away, so nothing runs after static destruction.
  ~Engine() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    if (thread_.joinable()) {
      curl_multi_wakeup(multi_);
      thread_.join();
    }
    if (multi_) curl_multi_cleanup(multi_);
    curl_global_cleanup();
  }

  void serve() {
    for (;;) {
      std::vector<std::shared_ptr<Exchange>> incoming;
      {
        std::lock_guard lock(mutex_);
        if (stopping_) break;
        incoming.swap(incoming_);
      }
      for (auto& exchange : incoming) add(std::move(exchange));
      drop_abandoned();
      int still_running = 0;
      curl_multi_perform(multi_, &still_running);
      collect_finished();
      curl_multi_poll(multi_, nullptr, 0, running_.empty() ? 1000 : 100, nullptr);
    }
    while (!running_.empty()) end(running_.begin()->first, Failure::stopped);
    std::lock_guard lock(mutex_);
    for (auto& exchange : incoming_) exchange->finish({{}, 0, Failure::stopped});
    incoming_.clear();
  }

  void add(std::shared_ptr<Exchange> exchange) {
    const bool post = txt_upper(exchange->request.method) == "POST";
    auto running = std::make_unique<Running>();
    running->exchange = std::move(exchange);
    running->headers = request_headers(running->exchange->request, post);
    CURL* easy = curl_easy_init();
    if (!easy || !running->headers) {
      if (easy) curl_easy_cleanup(easy);
      curl_slist_free_all(running->headers);
      running->exchange->finish({{}, 0, Failure::other});
      return;
    }
    configure(easy, *running);
    if (curl_multi_add_handle(multi_, easy) != CURLM_OK) {
      curl_easy_cleanup(easy);
      curl_slist_free_all(running->headers);
      running->exchange->finish({{}, 0, Failure::other});
      return;
    }
    running_.emplace(easy, std::move(running));
  }

  void drop_abandoned() {
    std::vector<CURL*> dropped;
    for (auto& [easy, running] : running_)
      if (running->exchange->abandoned.load()) dropped.push_back(easy);
    for (CURL* easy : dropped) end(easy, Failure::stopped);
  }

  void collect_finished() {
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
      if (message->msg != CURLMSG_DONE) continue;
      CURL* easy = message->easy_handle;
      const CURLcode code = message->data.result;
      auto found = running_.find(easy);
      if (found == running_.end()) continue;
      end(easy, failure_of(code, found->second->too_large));
    }
  }

  // Removes a transfer from curl and hands its outcome to the caller.
  void end(CURL* easy, Failure failure) {
    auto found = running_.find(easy);
    std::unique_ptr<Running> running = std::move(found->second);
    running_.erase(found);
    Response response;
    response.failure = failure;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &response.status);
    if (failure == Failure::none) response.body = std::move(running->body);
    curl_multi_remove_handle(multi_, easy);
    curl_easy_cleanup(easy);
    curl_slist_free_all(running->headers);
    running->exchange->finish(std::move(response));
  }

  CURLM* multi_ = nullptr;
  std::thread thread_;
  std::mutex mutex_;
  bool stopping_ = false;
  std::vector<std::shared_ptr<Exchange>> incoming_;
  std::map<CURL*, std::unique_ptr<Running>> running_;  // the engine thread's own
};

}  // namespace

void StartTransfer(std::shared_ptr<Exchange> exchange) { Engine::get().submit(std::move(exchange)); }

void AbandonTransfer(const std::shared_ptr<Exchange>& exchange) {
  exchange->abandoned = true;
  Engine::get().wake();
}

}  // namespace quill::net
