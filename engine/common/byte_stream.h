// The byte streams a host hands over for reading and writing: anything with
// an IStream, or with only the ISequentialStream part of one (the reads and
// writes are all the engine needs).
#pragma once

#include <cstddef>

#include "platform/platform.h"

namespace ardo::engine {

// The object's stream (one reference, the caller's), or null when it has none.
ComPtr<ISequentialStream> ByteStreamOf(IUnknown* object);

// Writes all n bytes, calling Write again while the stream takes part of
// them. The stream's failure, or STG_E_MEDIUMFULL for a stream that takes
// nothing (or says it took more than it was given).
HRESULT WriteAll(ISequentialStream* stream, const char* data, size_t n);

}  // namespace ardo::engine
