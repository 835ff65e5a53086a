#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/com/class_registry.h"
#include "platform/com/com_object.h"
#include "platform/com/stream.h"

namespace {

// The bytes, shared by a stream and its clones; each has its own position.
struct SharedBuffer {
  std::mutex mutex;
  std::vector<unsigned char> bytes;
};

class MemoryStream : public ardo::ComObject<MemoryStream, IStream> {
 public:
  explicit MemoryStream(std::shared_ptr<SharedBuffer> buffer, ULONGLONG position = 0)
      : buffer_(std::move(buffer)), position_(position) {}

  HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override {
    if (!pv && cb) return STG_E_INVALIDPOINTER;
    std::lock_guard<std::mutex> lock(buffer_->mutex);
    const auto& bytes = buffer_->bytes;
    ULONG count = 0;
    if (position_ < bytes.size())
      count = static_cast<ULONG>(std::min<ULONGLONG>(cb, bytes.size() - position_));
    if (count) std::memcpy(pv, bytes.data() + position_, count);
    position_ += count;
    if (pcbRead) *pcbRead = count;
    return count < cb ? S_FALSE : S_OK;
  }

  HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
    if (pcbWritten) *pcbWritten = 0;
    if (!pv && cb) return STG_E_INVALIDPOINTER;
    std::lock_guard<std::mutex> lock(buffer_->mutex);
    auto& bytes = buffer_->bytes;
    ULONGLONG end = position_ + cb;
    try {
      if (end > bytes.size()) bytes.resize(static_cast<size_t>(end));
    } catch (const std::exception&) {
      return STG_E_MEDIUMFULL;
    }
    if (cb) std::memcpy(bytes.data() + position_, pv, cb);
    position_ = end;
    if (pcbWritten) *pcbWritten = cb;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                 ULARGE_INTEGER* newPosition) override {
    std::lock_guard<std::mutex> lock(buffer_->mutex);
    long long base;
    switch (origin) {
      case STREAM_SEEK_SET: base = 0; break;
      case STREAM_SEEK_CUR: base = static_cast<long long>(position_); break;
      case STREAM_SEEK_END: base = static_cast<long long>(buffer_->bytes.size()); break;
      default: return STG_E_INVALIDFUNCTION;
    }
    long long target;
    if (__builtin_add_overflow(base, move.QuadPart, &target) || target < 0)
      return STG_E_INVALIDFUNCTION;
    position_ = static_cast<ULONGLONG>(target);
    if (newPosition) newPosition->QuadPart = position_;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override {
    std::lock_guard<std::mutex> lock(buffer_->mutex);
    try {
      buffer_->bytes.resize(static_cast<size_t>(size.QuadPart));
    } catch (const std::exception&) {
      return STG_E_MEDIUMFULL;
    }
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE CopyTo(IStream* target, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                                   ULARGE_INTEGER* pcbWritten) override {
    if (!target) return STG_E_INVALIDPOINTER;
    ULONGLONG read = 0, written = 0;
    unsigned char chunk[8192];
    HRESULT hr = S_OK;
    while (read < cb.QuadPart) {
      ULONG want = static_cast<ULONG>(std::min<ULONGLONG>(sizeof chunk, cb.QuadPart - read));
      ULONG got = 0;
      Read(chunk, want, &got);
      if (got == 0) break;
      read += got;
      ULONG put = 0;
      hr = target->Write(chunk, got, &put);
      written += put;
      if (FAILED(hr)) break;
    }
    if (pcbRead) pcbRead->QuadPart = read;
    if (pcbWritten) pcbWritten->QuadPart = written;
    return FAILED(hr) ? hr : S_OK;
  }

  // Memory is always current: nothing to commit or revert.
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }

  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
    if (!stat) return STG_E_INVALIDPOINTER;
    std::lock_guard<std::mutex> lock(buffer_->mutex);
    std::memset(stat, 0, sizeof *stat);
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = buffer_->bytes.size();
    stat->grfMode = STGM_READWRITE;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Clone(IStream** out) override {
    if (!out) return STG_E_INVALIDPOINTER;
    *out = ardo::MakeObject<MemoryStream>(buffer_, position_).Detach();
    return S_OK;
  }

 private:
  std::shared_ptr<SharedBuffer> buffer_;
  ULONGLONG position_;
};

}  // namespace

HRESULT CreateStreamOnHGlobal(HGLOBAL hGlobal, BOOL, LPSTREAM* ppstm) {
  if (!ppstm) return E_INVALIDARG;
  *ppstm = nullptr;
  if (hGlobal) return E_NOTIMPL;
  return ardo::CreateMemoryStream(ppstm);
}

namespace ardo {

HRESULT CreateMemoryStream(IStream** out) { return CreateMemoryStream(nullptr, 0, out); }

HRESULT CreateMemoryStream(const void* data, size_t size, IStream** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!data && size) return E_INVALIDARG;
  try {
    auto buffer = std::make_shared<SharedBuffer>();
    if (size) {
      auto bytes = static_cast<const unsigned char*>(data);
      buffer->bytes.assign(bytes, bytes + size);
    }
    *out = MakeObject<MemoryStream>(std::move(buffer)).Detach();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

}  // namespace ardo
