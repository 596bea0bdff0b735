#pragma once
// quillmoor-sandbox started for one test on a free loopback port and stopped
// with it. It keeps a request log, one JSON object a line.

#include <filesystem>
#include <string>
#include <vector>

#include "support/scratch_folder.h"

namespace quill::testing {

class SandboxProcess {
 public:
  // Extra options such as "--slow-ms", "3000". When the sandbox cannot start or
  // does not announce its port, running() is false.
  explicit SandboxProcess(std::vector<std::string> options = {});
  ~SandboxProcess();
  SandboxProcess(const SandboxProcess&) = delete;
  SandboxProcess& operator=(const SandboxProcess&) = delete;

  bool running() const { return port_ > 0; }
  int port() const { return port_; }
  // "http://127.0.0.1:port" followed by path ("https://" with --tls).
  std::string url(const std::string& path = "") const;
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string gateway() const { return url("/router/rest?"); }

  std::filesystem::path log_path() const { return folder_ / "log.jsonl"; }
  // With --tls and no --cert-file of the test's own: the certificate it serves.
  std::filesystem::path certificate_path() const { return folder_ / "cert.pem"; }
  std::string log() const { return read_file(log_path()); }
  std::vector<std::string> log_lines() const;

 private:
  ScratchFolder folder_;
  int pid_ = -1;
  int port_ = 0;
  bool tls_ = false;
};

}  // namespace quill::testing
