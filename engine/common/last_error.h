// The reason behind the last failing engine call on this thread (a
// malformed query, a style sheet that does not compile), kept for
// diagnostics the way the platform's error-info object would keep it.
#pragma once

#include <string>

#include "platform/platform.h"

namespace ardo::engine {

// Records reason for the calling thread and returns hr.
HRESULT FailWith(HRESULT hr, std::string reason);
const std::string& LastErrorReason();

}  // namespace ardo::engine
