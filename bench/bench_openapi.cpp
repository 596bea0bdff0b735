// The full platform call (signing, hand-over to the transfer engine thread,
// decoding, cleaning) against the sandbox gateway with 40-item answers, next to
// plain libcurl POSTs of the same body to the same server: on a fresh handle
// each time, and on one handle whose connection is kept alive between posts.

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "base/codepage.h"
#include "net/http.h"
#include "openapi/async_call.h"

namespace {

constexpr const char* kKey = "31415926";
constexpr const char* kSecret = "5f0c2a9e7b13d4866e1fa0b2c9d34e57";
constexpr const char* kMethod = "taobao.taobaoke.items.get";

class Sandbox {
 public:
  Sandbox() {
    std::string port_file = "/tmp/quill-bench-port-" + std::to_string(getpid());
    std::vector<std::string> args = {QUILL_SANDBOX_BINARY, "--port", "0", "--port-file", port_file};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      execv(argv[0], argv.data());
      _exit(127);
    }
    for (int i = 0; i < 400 && port_ == 0; ++i) {
      std::ifstream in(port_file);
      if (!(in >> port_)) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::remove(port_file.c_str());
  }
  ~Sandbox() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  std::string gateway() const { return "http://127.0.0.1:" + std::to_string(port_) + "/router/rest?"; }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

Sandbox& sandbox() {
  static Sandbox s;
  return s;
}

std::string recorded_answer();

// The sandbox's 40-item answer played back by an in-process server that sends
// without delay (TCP_NODELAY). The sandbox does not, and on a kept-alive
// connection its answer waits for the client's delayed ACK, tens of
// milliseconds that drown the client's own cost.
class Replay {
 public:
  Replay() {
    server_.set_tcp_nodelay(true);
    server_.Post("/router/rest", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(recorded_answer(), "text/xml;charset=UTF-8");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~Replay() {
    server_.stop();
    thread_.join();
  }
  std::string gateway() const { return "http://127.0.0.1:" + std::to_string(port_) + "/router/rest?"; }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

// Argument 0: the sandbox; 1: the replaying server.
std::string gateway_for(const benchmark::State& state) {
  if (state.range(0) == 0) return sandbox().gateway();
  static Replay replay;
  return replay.gateway();
}

const quill::openapi::ParamList& query() {
  static const quill::openapi::ParamList q = {
      {"keyword", quill::gbk("连衣裙")},
      {"pid", "mm_1_2_3"},
      {"fields",
       "num_iid,title,nick,pic_url,price,click_url,shop_click_url,seller_credit_score,item_location,volume"},
      {"sort", "commissionNum_desc"},
      {"page_no", "1"},
      {"page_size", "40"}};
  return q;
}

// A body signed now; the gateway accepts it for ten minutes.
std::string signed_body() {
  quill::Text format;
  return quill::openapi::BuildSignedForm(kKey, kSecret, kMethod, query(), "", format,
                                         quill::openapi::PlatformTimeNow())
      .body;
}

double cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Calls a second and the client's CPU time a call, since cpu_at_start.
void count_calls(benchmark::State& state, double cpu_at_start) {
  state.counters["calls/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["client_cpu_us/call"] =
      (cpu_seconds() - cpu_at_start) * 1e6 / static_cast<double>(state.iterations());
}

// One call as the run makes it: signed, posted, decoded and cleaned.
void BM_ApiCall(benchmark::State& state) {
  std::string gateway = gateway_for(state);
  std::size_t bytes = 0;
  double cpu = cpu_seconds();
  for (auto _ : state) {
    quill::openapi::ApiCall call({gateway, kKey, kSecret, kMethod, query(), "", ""}, {});
    call.await();
    const quill::Text answer = call.take().answer;
    if (answer.find("<click_url>") == quill::Text::npos) state.SkipWithError("no items");
    bytes += answer.size();
  }
  count_calls(state, cpu);
  state.counters["answer_bytes"] = static_cast<double>(bytes / state.iterations());
}

std::size_t discard(char*, std::size_t size, std::size_t n, void* user) {
  static_cast<std::string*>(user)->append(size * n, ' ');
  return size * n;
}

// A handle that posts body to gateway and appends the answer's length in spaces to answer.
CURL* plain_post(const std::string& gateway, const std::string& body, std::string& answer) {
  CURL* easy = curl_easy_init();
  curl_easy_setopt(easy, CURLOPT_URL, gateway.c_str());
  curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body.c_str());
  curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &discard);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &answer);
  return easy;
}

// The same signed body, posted with libcurl alone on the calling thread.
void BM_PlainCurlPost(benchmark::State& state) {
  std::string gateway = gateway_for(state);
  std::string body = signed_body();
  double cpu = cpu_seconds();
  for (auto _ : state) {
    std::string answer;
    CURL* easy = plain_post(gateway, body, answer);
    if (curl_easy_perform(easy) != CURLE_OK || answer.size() < 1000) state.SkipWithError("post failed");
    curl_easy_cleanup(easy);
  }
  count_calls(state, cpu);
}

// The same signed body on one handle: the connection stays open between posts,
// as it does in the transfer engine.
void BM_PlainCurlKeptAlive(benchmark::State& state) {
  std::string gateway = gateway_for(state);
  std::string body = signed_body();
  std::string answer;
  CURL* easy = plain_post(gateway, body, answer);
  double cpu = cpu_seconds();
  for (auto _ : state) {
    answer.clear();
    if (curl_easy_perform(easy) != CURLE_OK || answer.size() < 1000) state.SkipWithError("post failed");
  }
  curl_easy_cleanup(easy);
  count_calls(state, cpu);
}

// The client-side parts on their own, on a recorded 40-item answer.
std::string recorded_answer() {
  static const std::string answer = [] {
    const quill::net::Response response = quill::net::Fetch(
        {sandbox().gateway(), "POST", signed_body(), quill::openapi::kApiWait, ""}, quill::NoUiWaiter());
    return std::string(response.body.begin(), response.body.end());
  }();
  return answer;
}

void BM_DecodeAnswer(benchmark::State& state) {
  std::string answer = recorded_answer();
  for (auto _ : state) benchmark::DoNotOptimize(quill::openapi::Utf8ToGbk(answer));
}

void BM_CleanAnswer(benchmark::State& state) {
  quill::Text gbk = quill::openapi::Utf8ToGbk(recorded_answer());
  for (auto _ : state) benchmark::DoNotOptimize(quill::openapi::CleanResponse(gbk));
}

void BM_TransportOnly(benchmark::State& state) {
  std::string body = signed_body();
  std::string gateway = gateway_for(state);
  for (auto _ : state)
    benchmark::DoNotOptimize(
        quill::net::Fetch({gateway, "POST", body, quill::openapi::kApiWait, ""}, quill::NoUiWaiter()));
}

BENCHMARK(BM_DecodeAnswer)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CleanAnswer)->Unit(benchmark::kMicrosecond);
#define QUILL_BOTH_SERVERS(bench) \
  BENCHMARK(bench)->Arg(0)->Arg(1)->Iterations(2000)->UseRealTime()->Unit(benchmark::kMicrosecond)
QUILL_BOTH_SERVERS(BM_PlainCurlPost);
QUILL_BOTH_SERVERS(BM_PlainCurlKeptAlive);
QUILL_BOTH_SERVERS(BM_TransportOnly);
QUILL_BOTH_SERVERS(BM_ApiCall);

}  // namespace

BENCHMARK_MAIN();
