#pragma once
// Error answers the gateway gives in place of its own while a fault option asks
// for them: one forced error for every call, or a number of rate-limit and
// "remote service unavailable" answers per keyword before the real answer.

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "form.h"
#include "routes.h"

namespace sandbox {

class GatewayFaults {
 public:
  explicit GatewayFaults(const Options& options) : options_(options) {}

  // Counts this call against its keyword (a missing keyword counts as ""), and
  // returns the error document it gets instead of the real answer, or nullopt.
  std::optional<std::string> answer_instead(const Params& params);

 private:
  const Options& options_;
  std::mutex mutex_;
  std::map<std::string, int> calls_by_keyword_;
};

// Reads "CODE[:SUB_CODE[:SUB_MSG]]" into the options; false when CODE is no
// number from 0 to 99999 or SUB_CODE is given empty.
bool parse_forced_error(const std::string& text, Options& options);

}  // namespace sandbox
