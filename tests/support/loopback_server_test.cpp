// The loopback server against libcurl and plain sockets: exact bytes both
// ways, the three ways of not answering, and a prompt stop with clients still
// mid-request or waiting.

#include "support/loopback_server.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>

namespace quill::testing {
namespace {

struct Fetched {
  CURLcode code = CURLE_OK;
  std::string body;
};

Fetched post(const std::string& url, const std::string& body, long timeout_ms = 2000) {
  Fetched result;
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
  curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, body.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT_MS, timeout_ms);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &result.body);
  curl_easy_setopt(
      curl.get(), CURLOPT_WRITEFUNCTION, +[](char* data, size_t, size_t n, void* out) {
        static_cast<std::string*>(out)->append(data, n);
        return n;
      });
  result.code = curl_easy_perform(curl.get());
  return result;
}

// A plain socket connected to the port, having sent bytes.
int connect_and_send(int port, const std::string& bytes) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<unsigned short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
  return fd;
}

TEST(LoopbackServer, HandsOverTheWholeRequestAndSendsTheBytesAsTheyAre) {
  LoopbackServer server([](LoopbackConnection& c) {
    const RawRequest request = RawRequest::parse(c.request());
    c.send(LoopbackServer::ok(request.line + "|" + request.header("content-type") + "|" + request.body,
                              "X-Odd:  two spaces\r\n"));
  });
  const std::string form(100000, 'f');  // more than one read
  const Fetched fetched = post(server.url("/router/rest?"), form);
  EXPECT_EQ(fetched.code, CURLE_OK);
  EXPECT_EQ(fetched.body, "POST /router/rest? HTTP/1.1|application/x-www-form-urlencoded|" + form);
  ASSERT_EQ(server.requests().size(), 1u);
  const RawRequest recorded = RawRequest::parse(server.requests()[0]);
  EXPECT_EQ(recorded.header_names().front(), "Host");
  EXPECT_EQ(recorded.header("CONTENT-LENGTH"), "100000");
  EXPECT_EQ(recorded.header("absent"), "");
}

TEST(LoopbackServer, NothingResetAndHangAreThreeDifferentFailures) {
  LoopbackServer silent([](LoopbackConnection&) {});
  EXPECT_EQ(post(silent.url(), "a=1").code, CURLE_GOT_NOTHING);

  LoopbackServer resetting([](LoopbackConnection& c) {
    c.send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nhalf");
    c.reset();
    EXPECT_FALSE(c.send("more"));
  });
  EXPECT_EQ(post(resetting.url(), "a=1").code, CURLE_RECV_ERROR);

  LoopbackServer hanging([](LoopbackConnection& c) { c.hang(); });
  EXPECT_EQ(post(hanging.url(), "a=1", 50).code, CURLE_OPERATION_TIMEDOUT);
  EXPECT_EQ(hanging.requests().size(), 1u);
}

TEST(LoopbackServer, StopsPromptlyWithClientsMidRequestAndHandlersWaiting) {
  std::atomic<bool> handler_entered{false};
  std::atomic<int> waits_cut_short{0};
  int mid_request = -1, waiting = -1;
  auto server = std::make_unique<LoopbackServer>([&](LoopbackConnection& c) {
    handler_entered = true;
    if (!c.wait_ms(60 * 60 * 1000)) ++waits_cut_short;
    EXPECT_FALSE(c.send("late"));
  });
  mid_request = connect_and_send(server->port(), "POST / HTTP/1.1\r\nContent-Length: 10\r\n\r\n1234");
  waiting = connect_and_send(server->port(), "GET / HTTP/1.1\r\n\r\n");
  while (!handler_entered) std::this_thread::yield();  // the second one is in its handler

  const auto start = std::chrono::steady_clock::now();
  server.reset();
  // The handler would wait an hour: anything near that is not prompt.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_EQ(waits_cut_short, 1);
  for (int fd : {mid_request, waiting}) {
    char byte = 0;
    EXPECT_LE(recv(fd, &byte, 1, 0), 0) << "no answer, the connection just ends";
    close(fd);
  }
}

}  // namespace
}  // namespace quill::testing
