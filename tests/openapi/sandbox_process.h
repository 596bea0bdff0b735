#pragma once
// The sandbox gateway binary, started on a free loopback port for one fixture.

#include <string>
#include <vector>

namespace quill::testing {

class SandboxProcess {
 public:
  // Extra options such as "--slow-ms", "3000"; a request log is always kept.
  explicit SandboxProcess(std::vector<std::string> options = {});
  ~SandboxProcess();
  SandboxProcess(const SandboxProcess&) = delete;
  SandboxProcess& operator=(const SandboxProcess&) = delete;

  bool running() const { return port_ > 0; }
  int port() const { return port_; }
  std::string url(const std::string& path) const;
  std::string gateway() const { return url("/router/rest?"); }
  // The request log, one JSON line per request.
  std::vector<std::string> log_lines() const;

 private:
  std::string folder_;
  int pid_ = -1;
  int port_ = 0;
};

}  // namespace quill::testing
