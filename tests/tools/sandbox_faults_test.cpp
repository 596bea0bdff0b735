// The sandbox's fault modes, each against the real sandbox process over
// 127.0.0.1: what a client sees, and that the request log counts every call.

#include <arpa/inet.h>
#include <curl/curl.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>

#include "support/folder_changes.h"
#include "support/sandbox_process.h"

extern char** environ;

namespace quill::testing {
namespace {

using Clock = std::chrono::steady_clock;
// What "at once" means for a process that would otherwise never end: roomy
// enough for a loaded machine.
constexpr auto kPrompt = std::chrono::seconds(10);

// How to fetch: chained setters keep the calls short.
struct Fetch {
  std::string post_body;  // form body; empty for a GET
  long timeout = 60000;  // a loaded machine may be slow; a fault shows as a wrong answer
  std::string ca_file;  // trust only this certificate
  std::size_t max = 0;  // abort once this much arrived (0: no limit)
  Fetch& post(std::string body) { return post_body = std::move(body), *this; }
  Fetch& timeout_ms(long ms) { return timeout = ms, *this; }
  Fetch& ca(std::string file) { return ca_file = std::move(file), *this; }
  Fetch& max_bytes(std::size_t bytes) { return max = bytes, *this; }
};

struct Fetched {
  CURLcode code = CURLE_OK;
  std::string body;
};

Fetched fetch(const std::string& url, const Fetch& how = Fetch()) {
  struct Sink {
    std::string body;
    std::size_t max;
  } sink{{}, how.max};
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  if (!how.post_body.empty()) curl_easy_setopt(c, CURLOPT_POSTFIELDS, how.post_body.c_str());
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, how.timeout);
  if (!how.ca_file.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, how.ca_file.c_str());
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(
      c, CURLOPT_WRITEFUNCTION, +[](char* data, size_t, size_t n, void* out) -> size_t {
        auto* s = static_cast<Sink*>(out);
        s->body.append(data, n);
        return s->max > 0 && s->body.size() >= s->max ? 0 : n;
      });
  return {curl_easy_perform(c), sink.body};
}

std::string md5_upper_hex(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_md5(), nullptr);
  std::string hex;
  char pair[3];
  for (unsigned int i = 0; i < size; ++i) std::snprintf(pair, sizeof pair, "%02X", digest[i]), hex += pair;
  return hex;
}

// The business pairs as a form the sandbox accepts with its default key and
// secret: now in GMT+8, signed with MD5.
std::string signed_form(std::map<std::string, std::string> pairs) {
  std::time_t beijing = std::time(nullptr) + 8 * 3600;
  std::tm t{};
  gmtime_r(&beijing, &t);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &t);
  pairs.insert({{"app_key", "31415926"}, {"sign_method", "md5"}, {"timestamp", stamp}, {"v", "2.0"}});
  const std::string secret = "5f0c2a9e7b13d4866e1fa0b2c9d34e57";
  std::string signed_text = secret, form;
  for (const auto& [name, value] : pairs) signed_text += name + value, form += name + "=" + value + "&";
  return form + "sign=" + md5_upper_hex(signed_text + secret);
}

std::string signed_form(const std::string& keyword, const std::string& page_size = "40") {
  return signed_form({{"fields", "click_url,num_iid,title"},
                      {"format", "xml"},
                      {"keyword", keyword},
                      {"method", "taobao.taobaoke.items.get"},
                      {"page_no", "1"},
                      {"page_size", page_size}});
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

std::string element(const std::string& xml, const std::string& name) {
  const std::size_t start = xml.find("<" + name + ">");
  if (start == std::string::npos) return "(none)";
  const std::size_t from = start + name.size() + 2;
  return xml.substr(from, xml.find("</" + name + ">") - from);
}

// Spawns the sandbox with the arguments and options (stdout and stderr to /dev/null); its pid or -1.
pid_t spawn(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return failed ? -1 : pid;
}

// The exit code of a sandbox refusing its options at once.
int usage_exit_code(std::vector<std::string> options) {
  options.insert(options.begin(), QUILL_SANDBOX_PATH);
  const pid_t pid = spawn(options);
  int status = 0;
  if (pid <= 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(SandboxFaults, ForcedErrorAnswersEveryCallAsThePlatformWrites) {
  SandboxProcess with_sub({"--error", "15:isp.remote-service-unavailable:busy: try later"});
  EXPECT_EQ(fetch(with_sub.gateway(), Fetch().post("unsigned=1")).body,
            "<?xml version=\"1.0\" encoding=\"utf-8\" ?><error_response><code>15</code>"
            "<msg>Remote service error</msg><sub_code>isp.remote-service-unavailable</sub_code>"
            "<sub_msg>busy: try later</sub_msg></error_response>");
  SandboxProcess bare({"--error", "7"});
  const std::string answer = fetch(bare.gateway(), Fetch().post(signed_form("a"))).body;
  EXPECT_EQ(element(answer, "msg"), "App Call Limited");
  EXPECT_EQ(element(answer, "sub_code"), "(none)");
  for (const char* bad : {"", "x", "7:", "-1", "123456"})
    EXPECT_EQ(usage_exit_code({"--error", bad}), 2) << bad;
}

// The current interface over the same items, in JSON: the parameters checked,
// errors in JSON too, and the permission error on request.
TEST(SandboxFaults, CurrentInterfaceAnswersInJsonFromTheSameItems) {
  SandboxProcess sandbox;
  SandboxProcess refusing({"--no-permission"});
  auto material = [](std::map<std::string, std::string> business) {
    business.insert({{"method", "taobao.tbk.dg.material.optional.upgrade"}, {"format", "json"}});
    return Fetch().post(signed_form(std::move(business)));
  };
  const std::map<std::string, std::string> good = {{"q", "abc"}, {"adzone_id", "3"}, {"page_size", "7"}};
  const std::string answer = fetch(sandbox.gateway(), material(good)).body;
  EXPECT_TRUE(
      answer.starts_with(R"({"tbk_dg_material_optional_upgrade_response":{"result_list":{"map_data":[)"))
      << answer;
  EXPECT_EQ(count(answer, "\"item_basic_info\""), 7u);
  const std::string classic = fetch(sandbox.gateway(), Fetch().post(signed_form("abc", "1"))).body;
  EXPECT_NE(answer.find("[{\"item_id\":\"" + element(classic, "num_iid") + "\""), std::string::npos);
  const std::vector<std::pair<std::map<std::string, std::string>, std::string>> refused = {
      {{{"q", "abc"}}, R"({"error_response":{"code":40,"msg":"Missing required arguments:adzone_id")"},
      {{{"q", "abc"}, {"adzone_id", "mm_1"}}, R"("code":41,"msg":"Invalid arguments:adzone_id")"},
      {{{"adzone_id", "3"}}, R"("code":40,"msg":"Missing required arguments:q")"},
      {{{"q", "abc"}, {"adzone_id", "3"}, {"page_size", "101"}},
       R"("code":41,"msg":"Invalid arguments:page_size")"},
      {{{"q", "abc"}, {"adzone_id", "3"}, {"sort", "price_desc"}},
       R"("code":41,"msg":"Invalid arguments:sort")"},
      {{{"q", "abc"}, {"adzone_id", "3"}, {"format", "xml"}}, "<code>23</code>"},
  };
  for (const auto& [business, error] : refused)
    EXPECT_NE(fetch(sandbox.gateway(), material(business)).body.find(error), std::string::npos) << error;
  EXPECT_NE(fetch(refusing.gateway(), material(good))
                .body.find(R"({"error_response":{"code":11,)"
                           R"("msg":"Insufficient ISV Permissions",)"
                           R"("sub_code":"isv.permission-api-package-empty")"),
            std::string::npos);
  EXPECT_EQ(count(fetch(refusing.gateway(), Fetch().post(signed_form("abc"))).body, "<taobaoke_item>"), 40u);
}

TEST(SandboxFaults, RateLimitThenUnavailableServiceCountPerKeyword) {
  SandboxProcess sandbox({"--rate-limit", "2", "--ban-seconds", "3", "--isp-unavailable", "1"});
  std::vector<std::string> codes;
  for (const char* keyword : {"a", "a", "b", "a", "a", "b"}) {
    const std::string answer = fetch(sandbox.gateway(), Fetch().post(signed_form(keyword))).body;
    codes.push_back(element(answer, "sub_code") + "/" + element(answer, "sub_msg"));
    if (codes.size() == 5) {
      EXPECT_EQ(count(answer, "<taobaoke_item>"), 40u);
    }
  }
  const std::string limited =
      "accesscontrol.limited-by-app-access-count/This ban will last for 3 more seconds";
  EXPECT_EQ(codes, (std::vector<std::string>{
                       limited, limited, limited,
                       "isp.remote-service-unavailable/The remote service is temporarily unavailable",
                       "(none)/(none)", limited}));
  EXPECT_EQ(sandbox.log_lines().size(), 6u);
}

TEST(SandboxFaults, HundredThousandItemsInOneAnswer) {
  SandboxProcess paged({"--items", "100000"});
  const std::string page = fetch(paged.gateway(), Fetch().post(signed_form("x"))).body;
  EXPECT_EQ(count(page, "<taobaoke_item>"), 40u);
  EXPECT_EQ(element(page, "total_results"), "100000");

  SandboxProcess whole({"--items", "100000", "--all-items"});
  const auto start = Clock::now();
  const Fetched all = fetch(whole.gateway(), Fetch().post(signed_form("x", "1")).timeout_ms(60000));
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  EXPECT_EQ(all.code, CURLE_OK);
  EXPECT_EQ(count(all.body, "<taobaoke_item>"), 100000u);
  EXPECT_EQ(count(all.body, "</taobaoke_item>\n"), 100000u);
  EXPECT_TRUE(all.body.ends_with("<total_results>100000</total_results></taobaoke_items_get_response>"));
  RecordProperty("all_items_ms", static_cast<int>(ms));
  std::printf("100000 items: %zu bytes in %lld ms\n", all.body.size(), static_cast<long long>(ms));
}

TEST(SandboxFaults, DripSendsTheSameBodyOneByteAtATime) {
  SandboxProcess plain({"--error", "7"});
  SandboxProcess dripping({"--error", "7", "--drip-ms", "1"});
  const std::string expected = fetch(plain.gateway(), Fetch().post("a=1")).body;
  const auto start = Clock::now();
  const Fetched dripped = fetch(dripping.gateway(), Fetch().post("a=1"));
  EXPECT_EQ(dripped.code, CURLE_OK);
  EXPECT_EQ(dripped.body, expected);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(expected.size()));
}

// A plain socket to the port with one request sent; -1 when it cannot connect.
int send_raw(int port, const std::string& request) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<unsigned short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return close(fd), -1;
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  return fd;
}

TEST(SandboxFaults, ResetMidBodyEndsInAResetAfterPartOfTheBody) {
  SandboxProcess sandbox({"--reset-mid-body"});
  const std::string form = signed_form("a");
  const int fd = send_raw(sandbox.port(), "POST /router/rest? HTTP/1.1\r\nHost: x\r\nContent-Length: " +
                                              std::to_string(form.size()) + "\r\n\r\n" + form);
  ASSERT_GE(fd, 0);
  std::string received;
  char buffer[4096];
  ssize_t n = 0;
  while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0) received.append(buffer, static_cast<std::size_t>(n));
  const int error = errno;
  close(fd);
  EXPECT_EQ(n, -1);
  EXPECT_EQ(error, ECONNRESET);
  const std::size_t head_end = received.find("\r\n\r\n");
  ASSERT_NE(head_end, std::string::npos);
  const std::size_t announced = std::stoul(received.substr(received.find("Content-Length: ") + 16));
  EXPECT_GT(received.size() - head_end - 4, 0u);
  EXPECT_LT(received.size() - head_end - 4, announced);
  EXPECT_EQ(fetch(sandbox.gateway(), Fetch().post(form)).code, CURLE_RECV_ERROR);
  EXPECT_EQ(sandbox.log_lines().size(), 2u);
}

TEST(SandboxFaults, EndlessBodyRunsUntilTheClientLeaves) {
  SandboxProcess sandbox({"--endless"});
  for (int round = 0; round < 2; ++round) {
    const Fetched endless = fetch(sandbox.gateway(), Fetch().post(signed_form("a")).max_bytes(4u << 20));
    EXPECT_EQ(endless.code, CURLE_WRITE_ERROR);
    EXPECT_TRUE(endless.body.starts_with("<?xml")) << endless.body.substr(0, 80);
    EXPECT_GT(count(endless.body, "<taobaoke_item>"), 1000u);
  }
  EXPECT_EQ(sandbox.log_lines().size(), 2u);
}

TEST(SandboxFaults, HangingShortenersLeaveTheGatewayAnswering) {
  SandboxProcess sandbox({"--shortener-hang"});
  const std::string link = "url=http%3A%2F%2Fa%2Fb";
  EXPECT_EQ(fetch(sandbox.url("/create.php"), Fetch().post(link).timeout_ms(50)).code,
            CURLE_OPERATION_TIMEDOUT);
  EXPECT_EQ(
      fetch(sandbox.url("/v1/data/link_conv/rd_dispatcher.php?orig_link=x"), Fetch().timeout_ms(50)).code,
      CURLE_OPERATION_TIMEDOUT);
  EXPECT_EQ(fetch(sandbox.url("/?url=x"), Fetch().timeout_ms(50)).code, CURLE_OPERATION_TIMEDOUT);
  EXPECT_EQ(count(fetch(sandbox.gateway(), Fetch().post(signed_form("a"))).body, "<taobaoke_item>"), 40u);
  EXPECT_EQ(sandbox.log_lines().size(), 4u);
}

// Spawns the sandbox with the options; returns its pid and port (0 when it did not announce one).
std::pair<pid_t, int> spawn_sandbox(const ScratchFolder& folder, std::vector<std::string> options) {
  const std::string port_file = (folder / "port").string();
  std::vector<std::string> args{QUILL_SANDBOX_PATH, "--port-file", port_file, "--log",
                                (folder / "log").string()};
  args.insert(args.end(), options.begin(), options.end());
  const pid_t pid = spawn(args);
  if (pid <= 0) return {-1, 0};
  return {pid, WaitForAnnouncedPort(port_file)};
}

// Whether the sandbox's log reached lines lines (a stuck sandbox gives up in half a minute).
bool log_reaches(const ScratchFolder& folder, std::size_t lines) {
  FolderChanges changes(folder.path());
  for (int changed = 0; changed < 1000; ++changed) {
    if (count(read_file(folder / "log"), "\n") >= lines) return true;
    if (!changes.wait(std::chrono::seconds(30))) return false;
  }
  return false;
}

TEST(SandboxFaults, HangReadsTheRequestNeverAnswersAndStillStopsAtOnce) {
  ScratchFolder folder;
  const auto [pid, port] = spawn_sandbox(folder, {"--hang"});
  ASSERT_GT(pid, 0);
  ASSERT_GT(port, 0);
  const std::string gateway = "http://127.0.0.1:" + std::to_string(port) + "/router/rest?";
  EXPECT_EQ(fetch(gateway, Fetch().post("a=1").timeout_ms(50)).code, CURLE_OPERATION_TIMEDOUT);
  const int waiting = send_raw(port, "POST /router/rest? HTTP/1.1\r\nContent-Length: 3\r\n\r\nb=2");
  EXPECT_TRUE(log_reaches(folder, 2));

  const auto start = Clock::now();
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_LT(Clock::now() - start, kPrompt);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  char byte = 0;
  EXPECT_LE(recv(waiting, &byte, 1, 0), 0);
  close(waiting);
  EXPECT_TRUE(read_file(folder / "log").ends_with("\"body\":\"b=2\"}\n"));
}

// The starter's lock is the sandbox's life: letting go ends it, also mid-request,
// and a lease nobody holds (or no lease file at all) ends it at once.
TEST(SandboxFaults, LeaseEndsTheSandboxOnceItsHolderLetsGo) {
  ScratchFolder folder;
  const std::string lease = (folder / "lease").string();
  const int held = ::open(lease.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  struct flock hold {};
  hold.l_type = F_WRLCK;
  hold.l_len = 1;
  ASSERT_EQ(::fcntl(held, F_SETLK, &hold), 0);
  const auto [pid, port] = spawn_sandbox(folder, {"--hang", "--lease-file", lease});
  ASSERT_GT(port, 0);
  const int waiting = send_raw(port, "POST /router/rest? HTTP/1.1\r\nContent-Length: 3\r\n\r\nb=2");
  EXPECT_TRUE(log_reaches(folder, 1));
  EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0) << "ended while the lease was held";

  const auto start = Clock::now();
  ::close(held);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_LT(Clock::now() - start, kPrompt);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  close(waiting);
  for (const std::string& unheld : {lease, (folder / "missing").string()}) {
    const pid_t alone =
        spawn({QUILL_SANDBOX_PATH, "--port-file", (folder / "port2").string(), "--lease-file", unheld});
    ASSERT_GT(alone, 0);
    EXPECT_EQ(waitpid(alone, &status, 0), alone);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << unheld;
  }
}

TEST(SandboxFaults, TlsServesWithACertificateForLoopbackNamesOnly) {
  ScratchFolder folder;
  const std::string cert = (folder / "cert.pem").string();
  SandboxProcess sandbox({"--tls", "--cert-file", cert});
  ASSERT_TRUE(sandbox.running());
  const std::string port = std::to_string(sandbox.port());
  EXPECT_EQ(fetch("https://127.0.0.1:" + port + "/", Fetch().ca(cert)).body, "quillmoor sandbox\n");
  EXPECT_EQ(fetch("https://localhost:" + port + "/", Fetch().ca(cert)).code, CURLE_OK);
  EXPECT_EQ(fetch("https://127.0.0.1:" + port + "/").code, CURLE_PEER_FAILED_VERIFICATION);
  EXPECT_NE(fetch("http://127.0.0.1:" + port + "/").code, CURLE_OK);
  const std::string answer =
      fetch("https://127.0.0.1:" + port + "/router/rest?", Fetch().post(signed_form("a")).ca(cert)).body;
  EXPECT_EQ(element(answer, "click_url").substr(0, 8), "https://");
  EXPECT_EQ(sandbox.log_lines().size(), 3u) << "failed handshakes carry no request";
  EXPECT_EQ(usage_exit_code({"--tls"}), 2);
  EXPECT_EQ(usage_exit_code({"--cert-file", cert}), 2);
  EXPECT_EQ(usage_exit_code({"--tls", "--cert-file", cert, "--reset-mid-body"}), 2);
}

// Numbers are decimal (no octal "010"), in range, and every option is known;
// help is asked for, not a fault.
TEST(SandboxFaults, BadOptionsExitWithTwoAndHelpWithZero) {
  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{"--port", "65536"}, {"--items", "-1"}, {"--items", "010"},
                                             {"--slow-ms", "1e3"}, {"--port"}, {"--frobnicate"}, {"extra"}})
    EXPECT_EQ(usage_exit_code(bad), 2) << bad[0];
  EXPECT_EQ(usage_exit_code({"--help"}), 0);
}

}  // namespace
}  // namespace quill::testing
