#pragma once
// One platform call made and awaited, as the run's queue makes it.

#include "openapi/async_call.h"

namespace quill::testing {

inline Text AwaitCall(openapi::ApiRequest request,
                      const net::Channel& channel = {&NoUiWaiter(), openapi::kApiWait, {}},
                      openapi::ApiOutcome* outcome = nullptr, openapi::RetryPolicy retry = {}) {
  openapi::ApiCall call(std::move(request), channel, retry);
  call.await();
  openapi::ApiResult result = call.take();
  if (outcome) *outcome = std::move(result.outcome);
  return std::move(result.answer);
}

}  // namespace quill::testing
