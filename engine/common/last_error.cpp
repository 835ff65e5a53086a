#include "engine/common/last_error.h"

namespace ardo::engine {
namespace {
thread_local std::string t_reason;
}

HRESULT FailWith(HRESULT hr, std::string reason) {
  // The host reads the reason through the thread's error object.
  ardo::SetErrorDescription(reason.c_str(), "ardoxml");
  t_reason = std::move(reason);
  return hr;
}

const std::string& LastErrorReason() { return t_reason; }

}  // namespace ardo::engine
