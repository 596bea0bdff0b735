#pragma once

#include <functional>

namespace sandbox {

// Listens on 127.0.0.1:port (0 = any free port), announces the chosen port,
// then closes every connection right after reading the request, without a
// byte of answer. Runs until killed; returns 1 when it cannot listen.
int run_dropping_listener(int port, const std::function<void(int)>& announce);

}  // namespace sandbox
