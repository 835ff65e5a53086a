#include "engine/common/byte_stream.h"

namespace ardo::engine {

ComPtr<ISequentialStream> ByteStreamOf(IUnknown* object) {
  ComPtr<ISequentialStream> stream;
  if (!object) return stream;
  // An IStream usually answers for its base too, but need not.
  ComPtr<IStream> full;
  if (SUCCEEDED(object->QueryInterface(IStream::kIID, reinterpret_cast<void**>(full.Out()))))
    return ComPtr<ISequentialStream>(full);
  object->QueryInterface(ISequentialStream::kIID, reinterpret_cast<void**>(stream.Out()));
  return stream;
}

HRESULT WriteAll(ISequentialStream* stream, const char* data, size_t n) {
  while (n > 0) {
    const ULONG chunk = n > 0x40000000 ? 0x40000000 : static_cast<ULONG>(n);
    ULONG written = 0;
    HRESULT hr = stream->Write(data, chunk, &written);
    if (FAILED(hr)) return hr;
    if (written == 0 || written > chunk) return STG_E_MEDIUMFULL;
    data += written;
    n -= written;
  }
  return S_OK;
}

}  // namespace ardo::engine
