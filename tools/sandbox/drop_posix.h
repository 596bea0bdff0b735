#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace sandbox {

// Listens on 127.0.0.1:port (0 = any free port), announces the chosen port,
// then closes every connection right after reading the request, without a
// byte of answer. Runs until killed; returns 1 when it cannot listen.
int run_dropping_listener(int port, const std::function<void(int)>& announce);

// One request as read off the socket.
struct RawRequest {
  std::string method;
  std::string target;  // path and query
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;  // as many bytes as Content-Length announced and arrived
};

// Listens like run_dropping_listener, one connection at a time; answers each
// request with a 200 head announcing the whole body that answer() gives, sends
// half of that body and resets the connection (SO_LINGER 0 close). A client
// that sends nothing for 5 seconds is reset without an answer.
int run_resetting_listener(int port, const std::function<void(int)>& announce,
                           const std::function<std::string(const RawRequest&)>& answer);

// From now on SIGTERM and SIGINT end the process with exit code 0 right after
// before_exit() returns, whatever the server threads are doing (also a handler
// that never answers). Call before any thread is started: they inherit the
// blocked signals.
void exit_on_termination_signal(std::function<void()> before_exit);

// From now on the process ends with exit code 0, right after before_exit()
// returns, once no other process holds a lock on the first byte of path: its
// starter let go of the lease or died. A lease that cannot be opened ends the
// process at once.
void exit_when_lease_ends(const std::string& path, std::function<void()> before_exit);

}  // namespace sandbox
