#include "openapi/http_worker.h"

#include <curl/curl.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "openapi/http_transport.h"

namespace quill {

struct HttpExchange {
  std::string url;
  std::string body;
  bool post = false;
  long connect_seconds = 0;
  long stall_seconds = 0;
  CURLM* multi = nullptr;  // lives as long as the record, so a wake-up never hits a freed handle
  std::atomic<bool> abort{false};

  std::mutex mutex;
  std::condition_variable changed;
  bool finished = false;
  bool ok = false;
  Bytes result;

  ~HttpExchange() {
    if (multi) curl_multi_cleanup(multi);
  }
};

namespace {

// One cookie store for the whole process, shared by every transfer.
class CurlGlobals {
 public:
  static CurlGlobals& get() {
    static CurlGlobals globals;
    return globals;
  }
  CURLSH* share() const { return share_; }

 private:
  CurlGlobals() {
    curl_global_init(CURL_GLOBAL_ALL);
    share_ = curl_share_init();
    if (!share_) return;
    curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, &CurlGlobals::lock);
    curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, &CurlGlobals::unlock);
    curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
  }

  static void lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
    static_cast<CurlGlobals*>(self)->mutexes_[slot(data)].lock();
  }
  static void unlock(CURL*, curl_lock_data data, void* self) {
    static_cast<CurlGlobals*>(self)->mutexes_[slot(data)].unlock();
  }
  static std::size_t slot(curl_lock_data data) {
    auto i = static_cast<std::size_t>(data);
    return i < kSlots ? i : kSlots - 1;
  }

  static constexpr std::size_t kSlots = CURL_LOCK_DATA_LAST + 1;
  CURLSH* share_ = nullptr;
  std::array<std::mutex, kSlots> mutexes_;
};

// Transfer threads are kept and reused: a fresh thread per request pays for a
// fresh malloc arena each time, which costs more than the transfer itself on
// loopback. A thread that has waited idle for a while ends. The pool is never
// destroyed, so a thread still busy at exit never meets a dead mutex.
class ThreadPool {
 public:
  static ThreadPool& get() {
    static ThreadPool* pool = new ThreadPool;
    return *pool;
  }
  void run(std::function<void()> task) {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    if (idle_ > 0) {
      wake_.notify_one();
    } else {
      std::thread([this] { serve(); }).detach();
    }
  }

 private:
  void serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
      ++idle_;
      bool got = wake_.wait_for(lock, std::chrono::seconds(60), [&] { return !tasks_.empty(); });
      --idle_;
      if (!got) return;
      std::function<void()> task = std::move(tasks_.front());
      tasks_.pop_front();
      lock.unlock();
      task();
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
  int idle_ = 0;
};

struct Sink {
  Bytes body;
  bool too_large = false;
};

std::size_t write_body(char* data, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  std::size_t n = size * count;
  if (sink->body.size() + n > kMaxBodyBytes) {
    sink->too_large = true;
    return 0;  // ends the transfer with an error
  }
  sink->body.insert(sink->body.end(), data, data + n);
  return n;
}

int check_abort(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<HttpExchange*>(user)->abort.load() ? 1 : 0;
}

// The browser-like header block, in this order; curl's own Accept and Expect are
// replaced so that nothing else goes out but Host, User-Agent and Content-*.
// curl adds Content-Length itself, after this list and only to the POST, so a
// redirect that turns into a GET does not announce a body it lacks.
curl_slist* request_headers(const HttpExchange& ex) {
  std::string lines[] = {
      "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
      "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*",
      "Referer: " + ex.url,
      "Accept-Language: zh-cn",
      ex.post && !ex.body.empty() ? "Content-Type: application/x-www-form-urlencoded" : "Content-Type:",
      "Expect:",
  };
  curl_slist* list = nullptr;
  for (const std::string& line : lines) {
    if (line.empty()) continue;
    curl_slist* grown = curl_slist_append(list, line.c_str());
    if (!grown) {
      curl_slist_free_all(list);
      return nullptr;
    }
    list = grown;
  }
  return list;
}

void configure(CURL* easy, HttpExchange& ex, curl_slist* headers, Sink& sink) {
  curl_easy_setopt(easy, CURLOPT_URL, ex.url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_PROXY, "");
  curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
  if (CURLSH* share = CurlGlobals::get().share()) curl_easy_setopt(easy, CURLOPT_SHARE, share);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, ex.connect_seconds);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, ex.stall_seconds);
  curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxBodyBytes));
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &write_body);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &check_abort);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &ex);
  if (ex.post) {
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, ex.body.data());
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(ex.body.size()));
  }
}

// Drives the transfer; the owner interrupts the poll through curl_multi_wakeup.
CURLcode perform(HttpExchange& ex, CURL* easy) {
  if (curl_multi_add_handle(ex.multi, easy) != CURLM_OK) return CURLE_FAILED_INIT;
  CURLcode outcome = CURLE_ABORTED_BY_CALLBACK;
  int running = 1;
  while (!ex.abort.load()) {
    if (curl_multi_perform(ex.multi, &running) != CURLM_OK) {
      outcome = CURLE_FAILED_INIT;
      break;
    }
    if (running == 0) {
      int queued = 0;
      outcome = CURLE_RECV_ERROR;
      while (CURLMsg* msg = curl_multi_info_read(ex.multi, &queued)) {
        if (msg->msg == CURLMSG_DONE) outcome = msg->data.result;
      }
      break;
    }
    if (curl_multi_poll(ex.multi, nullptr, 0, 1000, nullptr) != CURLM_OK) {
      outcome = CURLE_FAILED_INIT;
      break;
    }
  }
  curl_multi_remove_handle(ex.multi, easy);
  return outcome;
}

void run_transfer(std::shared_ptr<HttpExchange> ex) {
  Sink sink;
  bool ok = false;
  if (CURL* easy = curl_easy_init()) {
    curl_slist* headers = request_headers(*ex);
    if (headers) {
      configure(easy, *ex, headers, sink);
      ok = perform(*ex, easy) == CURLE_OK && !sink.too_large;
    }
    curl_easy_cleanup(easy);
    curl_slist_free_all(headers);
  }
  std::lock_guard lock(ex->mutex);
  ex->ok = ok;
  if (ok) ex->result = std::move(sink.body);
  ex->finished = true;
  ex->changed.notify_all();
}

}  // namespace

HttpWorker::HttpWorker(std::string_view url, bool post, std::string_view body, int connect_seconds,
                       int stall_seconds)
    : exchange_(std::make_shared<HttpExchange>()) {
  CurlGlobals::get();
  HttpExchange& ex = *exchange_;
  ex.url = std::string(url);
  ex.post = post;
  ex.body = std::string(body);
  ex.connect_seconds = connect_seconds;
  ex.stall_seconds = stall_seconds;
  ex.multi = curl_multi_init();
  if (!ex.multi) {
    ex.finished = true;
    return;
  }
  ThreadPool::get().run([exchange = exchange_] { run_transfer(exchange); });
}

HttpWorker::~HttpWorker() {
  {
    std::lock_guard lock(exchange_->mutex);
    if (exchange_->finished) return;
  }
  exchange_->abort = true;
  curl_multi_wakeup(exchange_->multi);
  // Normally the transfer stops at once; if not, it ends on its own later and
  // only touches the record, which it co-owns.
  std::unique_lock lock(exchange_->mutex);
  exchange_->changed.wait_for(lock, std::chrono::seconds(2), [&] { return exchange_->finished; });
}

bool HttpWorker::wait_for(std::chrono::milliseconds slice) {
  std::unique_lock lock(exchange_->mutex);
  return exchange_->changed.wait_for(lock, slice, [&] { return exchange_->finished; });
}

Bytes HttpWorker::take_body() {
  std::lock_guard lock(exchange_->mutex);
  if (!exchange_->finished || !exchange_->ok) return {};
  return std::move(exchange_->result);
}

}  // namespace quill
