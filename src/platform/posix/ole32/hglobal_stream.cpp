// IStream over a global memory block.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>

#include "platform/posix/ole32/ole_streams.h"

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_ISequentialStream = {0x0c733a30, 0x2a1c, 0x11ce, {0xad, 0xe5, 0x00, 0xaa, 0x00, 0x44, 0x77, 0x3d}};
const IID IID_IStream = {0x0000000c, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

// Sizes are reported to callers as 32-bit counts; the stream never grows to
// a size whose low 32 bits would lie about it.
constexpr ULONGLONG kMaxStreamBytes = 0xFFFFFFFFull;
constexpr SIZE_T kInitialGrowableCapacity = 4096;
constexpr DWORD kStgmReadWrite = 0x00000002;

// The block shared by a stream and its clones.
class StreamBlock {
 public:
  StreamBlock(HGLOBAL handle, SIZE_T capacity, ULONGLONG size, bool growable, bool delete_on_release)
      : handle_(handle),
        capacity_(capacity),
        size_(size),
        growable_(growable),
        delete_on_release_(delete_on_release) {}
  StreamBlock(const StreamBlock&) = delete;
  StreamBlock& operator=(const StreamBlock&) = delete;
  ~StreamBlock() {
    if (delete_on_release_) GlobalFree(handle_);
  }

  BYTE* Bytes() const { return static_cast<BYTE*>(handle_); }
  ULONGLONG Size() const { return size_; }

  // Makes room for `end` bytes; the bytes between the old size and `end`
  // read as zero. Fails with the HRESULT to return.
  HRESULT Extend(ULONGLONG end) {
    if (end > kMaxStreamBytes) return STG_E_MEDIUMFULL;
    if (end > capacity_) {
      if (!growable_) return STG_E_MEDIUMFULL;
      const HRESULT grown = Grow(static_cast<SIZE_T>(end));
      if (FAILED(grown)) return grown;
    }
    if (end > size_) {
      std::memset(Bytes() + size_, 0, static_cast<SIZE_T>(end - size_));
      size_ = end;
    }
    return S_OK;
  }

  void Truncate(ULONGLONG size) { size_ = std::min(size_, size); }

  // The block goes back to its owner untouched.
  void Disown() { delete_on_release_ = false; }

 private:
  HRESULT Grow(SIZE_T needed) {
    SIZE_T capacity = std::max(capacity_, kInitialGrowableCapacity);
    while (capacity < needed) capacity = capacity > kMaxStreamBytes / 2 ? needed : capacity * 2;
    const HGLOBAL grown = GlobalAlloc(GMEM_MOVEABLE, capacity);
    if (grown == nullptr) return E_OUTOFMEMORY;
    if (size_ > 0) std::memcpy(grown, handle_, static_cast<SIZE_T>(size_));
    GlobalFree(handle_);
    handle_ = grown;
    capacity_ = capacity;
    return S_OK;
  }

  HGLOBAL handle_;
  SIZE_T capacity_;
  ULONGLONG size_;
  const bool growable_;
  bool delete_on_release_;
};

class HGlobalStream final : public IStream {
 public:
  explicit HGlobalStream(std::shared_ptr<StreamBlock> block, ULONGLONG position = 0)
      : block_(std::move(block)), position_(position) {}
  HGlobalStream(const HGlobalStream&) = delete;
  HGlobalStream& operator=(const HGlobalStream&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
    if (ppvObject == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ISequentialStream || riid == IID_IStream) {
      *ppvObject = static_cast<IStream*>(this);
      AddRef();
      return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
  }

  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }

  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override {
    if (pcbRead != nullptr) *pcbRead = 0;
    if (pv == nullptr && cb > 0) return STG_E_INVALIDPOINTER;
    const ULONGLONG size = block_->Size();
    const ULONG count =
        position_ >= size ? 0 : static_cast<ULONG>(std::min<ULONGLONG>(cb, size - position_));
    if (count > 0) std::memcpy(pv, block_->Bytes() + position_, count);
    position_ += count;
    if (pcbRead != nullptr) *pcbRead = count;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
    if (pcbWritten != nullptr) *pcbWritten = 0;
    if (pv == nullptr && cb > 0) return STG_E_INVALIDPOINTER;
    if (cb == 0) return S_OK;
    if (position_ > kMaxStreamBytes) return STG_E_MEDIUMFULL;
    const HRESULT extended = block_->Extend(position_ + cb);
    if (FAILED(extended)) return extended;
    std::memcpy(block_->Bytes() + position_, pv, cb);
    position_ += cb;
    if (pcbWritten != nullptr) *pcbWritten = cb;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin,
                                 ULARGE_INTEGER* plibNewPosition) override {
    ULONGLONG base = 0;
    switch (dwOrigin) {
      case STREAM_SEEK_SET: base = 0; break;
      case STREAM_SEEK_CUR: base = position_; break;
      case STREAM_SEEK_END: base = block_->Size(); break;
      default: return STG_E_INVALIDFUNCTION;
    }
    const LONGLONG move = dlibMove.QuadPart;
    ULONGLONG target = 0;
    if (move < 0) {
      const ULONGLONG back = 0 - static_cast<ULONGLONG>(move);
      if (back > base) return STG_E_INVALIDFUNCTION;
      target = base - back;
    } else {
      if (static_cast<ULONGLONG>(move) > ~ULONGLONG{0} - base) return STG_E_INVALIDFUNCTION;
      target = base + static_cast<ULONGLONG>(move);
    }
    position_ = target;
    if (plibNewPosition != nullptr) plibNewPosition->QuadPart = position_;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER libNewSize) override {
    if (libNewSize.QuadPart >= block_->Size()) return block_->Extend(libNewSize.QuadPart);
    block_->Truncate(libNewSize.QuadPart);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                                   ULARGE_INTEGER* pcbWritten) override {
    if (pcbRead != nullptr) pcbRead->QuadPart = 0;
    if (pcbWritten != nullptr) pcbWritten->QuadPart = 0;
    if (pstm == nullptr) return STG_E_INVALIDPOINTER;
    const ULONGLONG size = block_->Size();
    ULONGLONG left = position_ >= size ? 0 : std::min(cb.QuadPart, size - position_);
    ULONGLONG read = 0;
    ULONGLONG written = 0;
    HRESULT result = S_OK;
    while (left > 0) {
      const ULONG chunk = static_cast<ULONG>(std::min<ULONGLONG>(left, 1u << 20));
      ULONG chunk_written = 0;
      result = pstm->Write(block_->Bytes() + position_, chunk, &chunk_written);
      read += chunk;
      written += chunk_written;
      position_ += chunk;
      left -= chunk;
      if (FAILED(result)) break;
      if (chunk_written != chunk) {
        result = STG_E_MEDIUMFULL;
        break;
      }
    }
    if (pcbRead != nullptr) pcbRead->QuadPart = read;
    if (pcbWritten != nullptr) pcbWritten->QuadPart = written;
    return result;
  }

  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }

  HRESULT STDMETHODCALLTYPE Stat(STATSTG* pstatstg, DWORD grfStatFlag) override {
    if (pstatstg == nullptr) return STG_E_INVALIDPOINTER;
    if (grfStatFlag > (STATFLAG_NONAME | STATFLAG_NOOPEN)) return STG_E_INVALIDFLAG;
    *pstatstg = STATSTG{};
    // A memory stream has no name, so none is allocated whatever the flag.
    pstatstg->pwcsName = nullptr;
    pstatstg->type = STGTY_STREAM;
    pstatstg->cbSize.QuadPart = block_->Size();
    pstatstg->grfMode = kStgmReadWrite;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Clone(IStream** ppstm) override {
    if (ppstm == nullptr) return STG_E_INVALIDPOINTER;
    *ppstm = new (std::nothrow) HGlobalStream(block_, position_);
    return *ppstm == nullptr ? E_OUTOFMEMORY : S_OK;
  }

 private:
  ~HGlobalStream() = default;

  std::shared_ptr<StreamBlock> block_;
  ULONGLONG position_;
  std::atomic<ULONG> references_{1};
};

}  // namespace

HRESULT WINAPI CreateStreamOnHGlobal(HGLOBAL hGlobal, BOOL fDeleteOnRelease, LPSTREAM* ppstm) {
  if (ppstm == nullptr) return E_INVALIDARG;
  *ppstm = nullptr;
  // A new block that the stream would not free could never be freed at all.
  if (hGlobal == nullptr && !fDeleteOnRelease) return E_INVALIDARG;
  if (hGlobal != nullptr && GlobalLock(hGlobal) == nullptr) return E_INVALIDARG;

  HGLOBAL handle = hGlobal;
  SIZE_T capacity = 0;
  ULONGLONG size = 0;
  if (hGlobal == nullptr) {
    handle = GlobalAlloc(GMEM_MOVEABLE, 0);
    if (handle == nullptr) return E_OUTOFMEMORY;
  } else {
    capacity = GlobalSize(hGlobal);
    size = capacity;
  }

  std::shared_ptr<StreamBlock> block;
  try {
    block = std::make_shared<StreamBlock>(handle, capacity, size, hGlobal == nullptr,
                                          fDeleteOnRelease != FALSE);
  } catch (const std::bad_alloc&) {
    if (hGlobal == nullptr) GlobalFree(handle);
    return E_OUTOFMEMORY;
  }
  *ppstm = new (std::nothrow) HGlobalStream(block);
  if (*ppstm == nullptr) {
    // A failed call leaves the caller's block as it was.
    if (hGlobal != nullptr) block->Disown();
    return E_OUTOFMEMORY;
  }
  return S_OK;
}
