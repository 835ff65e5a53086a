#include "engine/common/last_error.h"

namespace ardo::engine {
namespace {
thread_local std::string t_reason;
}

HRESULT FailWith(HRESULT hr, std::string reason) {
  t_reason = std::move(reason);
  return hr;
}

const std::string& LastErrorReason() { return t_reason; }

}  // namespace ardo::engine
