// Byte streams: ISequentialStream, IStream and a growable memory stream.
#pragma once

#include "platform/com/unknown.h"

enum STREAM_SEEK : DWORD { STREAM_SEEK_SET = 0, STREAM_SEEK_CUR = 1, STREAM_SEEK_END = 2 };
enum STGTY : DWORD { STGTY_STORAGE = 1, STGTY_STREAM = 2, STGTY_LOCKBYTES = 3, STGTY_PROPERTY = 4 };
enum STATFLAG : DWORD { STATFLAG_DEFAULT = 0, STATFLAG_NONAME = 1, STATFLAG_NOOPEN = 2 };
enum STGC : DWORD {
  STGC_DEFAULT = 0,
  STGC_OVERWRITE = 1,
  STGC_ONLYIFCURRENT = 2,
  STGC_DANGEROUSLYCOMMITMERELYTODISKCACHE = 4,
  STGC_CONSOLIDATE = 8
};
// <fcntl.h> on glibc defines LOCK_WRITE as a macro for flock(); a host that
// includes it first keeps its macro and reaches our value as LOCKTYPE(1).
#ifdef LOCK_WRITE
enum LOCKTYPE : DWORD { LOCK_EXCLUSIVE = 2, LOCK_ONLYONCE = 4 };
#else
enum LOCKTYPE : DWORD { LOCK_WRITE = 1, LOCK_EXCLUSIVE = 2, LOCK_ONLYONCE = 4 };
#endif

inline constexpr DWORD STGM_READ = 0x00000000;
inline constexpr DWORD STGM_WRITE = 0x00000001;
inline constexpr DWORD STGM_READWRITE = 0x00000002;

typedef struct tagSTATSTG {
  LPOLESTR pwcsName;  // CoTaskMemAlloc'ed, the caller frees; null for a memory stream
  DWORD type;
  ULARGE_INTEGER cbSize;
  FILETIME mtime;
  FILETIME ctime;
  FILETIME atime;
  DWORD grfMode;
  DWORD grfLocksSupported;
  CLSID clsid;
  DWORD grfStateBits;
  DWORD reserved;
} STATSTG;

struct ISequentialStream : IUnknown {
  ARDO_INTERFACE(ISequentialStream, IUnknown, 0x0C733A30, 0x2A1C, 0x11CE, 0xAD, 0xE5, 0x00,
                 0xAA, 0x00, 0x44, 0x77, 0x3D);
  // Reads up to cb bytes; S_FALSE when fewer were available (end of stream).
  virtual HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
  virtual HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;
};

struct IStream : ISequentialStream {
  ARDO_INTERFACE(IStream, ISequentialStream, 0x0000000C, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00,
                 0x00, 0x00, 0x00, 0x46);
  // STG_E_INVALIDFUNCTION for a bad origin or a position before the start.
  virtual HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin,
                                         ULARGE_INTEGER* plibNewPosition) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER libNewSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyTo(IStream* pstm, ULARGE_INTEGER cb,
                                           ULARGE_INTEGER* pcbRead,
                                           ULARGE_INTEGER* pcbWritten) = 0;
  virtual HRESULT STDMETHODCALLTYPE Commit(DWORD grfCommitFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Revert() = 0;
  virtual HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb,
                                               DWORD dwLockType) = 0;
  virtual HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb,
                                                 DWORD dwLockType) = 0;
  virtual HRESULT STDMETHODCALLTYPE Stat(STATSTG* pstatstg, DWORD grfStatFlag) = 0;
  // A second seek pointer on the same bytes.
  virtual HRESULT STDMETHODCALLTYPE Clone(IStream** ppstm) = 0;
};
typedef IStream* LPSTREAM;

inline constexpr const IID& IID_ISequentialStream = ISequentialStream::kIID;
inline constexpr const IID& IID_IStream = IStream::kIID;

// A new empty memory stream. Only hGlobal = null is supported (anything else
// gives E_NOTIMPL); the memory always belongs to the stream.
HRESULT CreateStreamOnHGlobal(HGLOBAL hGlobal, BOOL fDeleteOnRelease, LPSTREAM* ppstm);

namespace ardo {

// A new growable memory stream, positioned at 0 (one reference, the caller's).
HRESULT CreateMemoryStream(IStream** out);
// The same, holding a copy of size bytes from data.
HRESULT CreateMemoryStream(const void* data, size_t size, IStream** out);

}  // namespace ardo
