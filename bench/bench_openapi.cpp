// The full platform call (signing, worker thread, decoding, cleaning) against the
// sandbox gateway with 40-item answers, next to plain libcurl POSTs of the same
// body to the same server.

#include <benchmark/benchmark.h>
#include <curl/curl.h>
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
#include "openapi/api_call.h"
#include "net/http.h"

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

const quill::Text& query() {
  static const quill::Text q =
      "keyword=" + quill::gbk("连衣裙") +
      "&pid=mm_1_2_3&fields=num_iid,title,nick,pic_url,price,click_url,shop_click_url,"
      "seller_credit_score,item_location,volume&sort=commissionNum_desc&page_no=1&page_size=40";
  return q;
}

// A body signed now; the gateway accepts it for ten minutes.
std::string signed_body() {
  quill::Text format;
  return quill::openapi::BuildSignedForm(kKey, kSecret, kMethod, quill::openapi::SplitQueryPairs(query()), "", format,
                                quill::openapi::PlatformTimeNow())
      .body;
}

double cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void BM_CallOpenApi(benchmark::State& state) {
  std::string gateway = sandbox().gateway();
  std::size_t bytes = 0;
  double cpu = cpu_seconds();
  for (auto _ : state) {
    quill::Text format;
    quill::Text answer = quill::openapi::CallOpenApi(gateway, kKey, kSecret, kMethod, query(), "", format);
    if (answer.find("<click_url>") == quill::Text::npos) state.SkipWithError("no items");
    bytes += answer.size();
  }
  state.counters["calls/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["client_cpu_us/call"] =
      (cpu_seconds() - cpu) * 1e6 / static_cast<double>(state.iterations());
  state.counters["answer_bytes"] = static_cast<double>(bytes / state.iterations());
}

std::size_t discard(char*, std::size_t size, std::size_t n, void* user) {
  static_cast<std::string*>(user)->append(size * n, ' ');
  return size * n;
}

// The same signed body, posted with libcurl alone on the calling thread.
void BM_PlainCurlPost(benchmark::State& state) {
  std::string gateway = sandbox().gateway();
  std::string body = signed_body();
  double cpu = cpu_seconds();
  for (auto _ : state) {
    auto post = [&] {
      CURL* easy = curl_easy_init();
      std::string answer;
      curl_easy_setopt(easy, CURLOPT_URL, gateway.c_str());
      curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body.c_str());
      curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
      curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &discard);
      curl_easy_setopt(easy, CURLOPT_WRITEDATA, &answer);
      if (curl_easy_perform(easy) != CURLE_OK || answer.size() < 1000) state.SkipWithError("post failed");
      curl_easy_cleanup(easy);
    };
    if (state.range(0))
      std::thread(post).join();
    else
      post();
  }
  state.counters["calls/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["client_cpu_us/call"] =
      (cpu_seconds() - cpu) * 1e6 / static_cast<double>(state.iterations());
}

// The client-side parts on their own, on a recorded 40-item answer.
std::string recorded_answer() {
  static const std::string answer = [] {
    quill::Bytes bytes = quill::net::HttpRequest(sandbox().gateway(), "POST", signed_body(), std::chrono::seconds(30));
    return std::string(bytes.begin(), bytes.end());
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
  std::string gateway = sandbox().gateway();
  for (auto _ : state) benchmark::DoNotOptimize(quill::net::HttpRequest(gateway, "POST", body, std::chrono::seconds(30)));
}

BENCHMARK(BM_DecodeAnswer)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CleanAnswer)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TransportOnly)->Iterations(300)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainCurlPost)->Arg(0)->Arg(1)->Iterations(300)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CallOpenApi)->Iterations(300)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
