// The reason behind the last failing engine call on this thread (a
// malformed query, a style sheet that does not compile): FailWith makes it
// the thread's error object, which the host takes with GetErrorInfo.
#pragma once

#include <string>

#include "platform/platform.h"

namespace ardo::engine {

// Records reason for the calling thread and returns hr.
HRESULT FailWith(HRESULT hr, const std::string& reason);
// Every failing call ends here: an error object that this call did not set
// (a reason left from an earlier failure) is cleared, so that the host never
// reads another call's reason. Returns hr.
[[gnu::cold, gnu::noinline]] HRESULT ConcludeFailure(HRESULT hr);

}  // namespace ardo::engine
