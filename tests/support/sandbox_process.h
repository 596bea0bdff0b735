#pragma once
// quillmoor-sandbox started for one test on a free loopback port and stopped
// with it. It keeps a request log, one JSON object a line. It runs on a lease
// the test holds, so a test that crashes leaves no sandbox behind. The Windows
// build starts the Linux sandbox, which only Wine can do.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/scratch_folder.h"

namespace quill::testing {

// The port a sandbox announced in port_file (its whole line), waiting as the
// file's folder changes; 0 when none came within a few seconds.
int WaitForAnnouncedPort(const std::filesystem::path& port_file);

// Skips the current test where no sandbox can start (Windows without Wine).
#define QUILL_SKIP_WITHOUT_SANDBOX()                                                        \
  do {                                                                                      \
    if (!::quill::testing::SandboxProcess::available())                                     \
      GTEST_SKIP() << "no quillmoor-sandbox here: it runs under Wine beside a Linux build"; \
  } while (false)

class SandboxProcess {
 public:
  // Whether this build can start a sandbox at all.
  static bool available();

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
  std::intptr_t lease_ = -1;  // the locked lease file: a descriptor, a HANDLE on Windows
  int port_ = 0;
  bool tls_ = false;
};

}  // namespace quill::testing
