#include "engine/common/last_error.h"

namespace ardo::engine {
namespace {
thread_local bool t_reasonFresh = false;  // set since the last call ended
}

HRESULT FailWith(HRESULT hr, const std::string& reason) {
  // The host reads the reason through the thread's error object.
  ardo::SetErrorDescription(reason.c_str(), "ardoxml");
  t_reasonFresh = true;
  return hr;
}

HRESULT ConcludeFailure(HRESULT hr) {
  if (t_reasonFresh) {
    t_reasonFresh = false;
  } else {
    SetErrorInfo(0, nullptr);
  }
  return hr;
}

}  // namespace ardo::engine
