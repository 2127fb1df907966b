// Heap, local and global memory.  Every block carries a small header with its
// size so that HeapSize/LocalSize answer as Windows does and a free of a
// foreign pointer is refused instead of corrupting the allocator.
#include <cstdlib>
#include <cstring>

#include "core/internal.h"

namespace {

constexpr uint32_t kMagic = 0x57534D42;  // live block
constexpr uint32_t kFreed = 0x46524545;

struct alignas(16) Header {
  size_t size;
  uint32_t magic;
  uint32_t pad;
};

void *allocate(size_t bytes, bool zero) {
  auto *h = static_cast<Header *>(zero ? std::calloc(1, sizeof(Header) + bytes) : std::malloc(sizeof(Header) + bytes));
  if (!h) return nullptr;
  h->size = bytes;
  h->magic = kMagic;
  return h + 1;
}

Header *headerOf(LPCVOID mem) {
  if (!mem) return nullptr;
  auto *h = const_cast<Header *>(static_cast<const Header *>(mem) - 1);
  return h->magic == kMagic ? h : nullptr;
}

bool freeBlock(LPVOID mem) {
  Header *h = headerOf(mem);
  if (!h) return false;
  h->magic = kFreed;
  std::free(h);
  return true;
}

void *reallocate(LPVOID mem, size_t bytes, bool zero) {
  Header *h = headerOf(mem);
  if (!h) return nullptr;
  size_t old = h->size;
  auto *n = static_cast<Header *>(std::realloc(h, sizeof(Header) + bytes));
  if (!n) return nullptr;
  n->size = bytes;
  if (zero && bytes > old) std::memset(reinterpret_cast<BYTE *>(n + 1) + old, 0, bytes - old);
  return n + 1;
}

int g_processHeap;  // its address is the process heap's handle

}  // namespace

extern "C" {

HANDLE WINAPI GetProcessHeap(void) { return &g_processHeap; }

HANDLE WINAPI HeapCreate(DWORD, SIZE_T, SIZE_T) {
  // All heaps share the process allocator; a private heap only needs an
  // identity, a handle of the handle table that HeapDestroy checks.
  return winsim::registerObject(new winsim::KObject(winsim::Kind::Heap));
}

BOOL WINAPI HeapDestroy(HANDLE heap) {
  // The process heap is not in the table: it cannot be destroyed.
  return winsim::closeHandle(heap, winsim::Kind::Heap) ? TRUE : FALSE;
}

LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
  if (!heap) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  void *p = allocate(bytes, (flags & HEAP_ZERO_MEMORY) != 0);
  if (!p) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return p;
}

LPVOID WINAPI HeapReAlloc(HANDLE heap, DWORD flags, LPVOID mem, SIZE_T bytes) {
  if (!heap || !headerOf(mem)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (flags & HEAP_REALLOC_IN_PLACE_ONLY) {
    Header *h = headerOf(mem);
    if (bytes > h->size) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    h->size = bytes;
    return mem;
  }
  void *p = reallocate(mem, bytes, (flags & HEAP_ZERO_MEMORY) != 0);
  if (!p) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return p;
}

BOOL WINAPI HeapFree(HANDLE heap, DWORD, LPVOID mem) {
  if (!heap) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!mem) return TRUE;
  if (!freeBlock(mem)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}

SIZE_T WINAPI HeapSize(HANDLE heap, DWORD, LPCVOID mem) {
  Header *h = headerOf(mem);
  if (!heap || !h) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return (SIZE_T)-1;
  }
  return h->size;
}

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes) {
  void *p = allocate(bytes, (flags & LMEM_ZEROINIT) != 0);
  if (!p) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return p;
}

HLOCAL WINAPI LocalReAlloc(HLOCAL mem, SIZE_T bytes, UINT flags) {
  if (!headerOf(mem)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  void *p = reallocate(mem, bytes, (flags & LMEM_ZEROINIT) != 0);
  if (!p) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return p;
}

HLOCAL WINAPI LocalFree(HLOCAL mem) {
  if (!mem) return nullptr;
  if (!freeBlock(mem)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return mem;
  }
  return nullptr;
}

SIZE_T WINAPI LocalSize(HLOCAL mem) {
  Header *h = headerOf(mem);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return h->size;
}

LPVOID WINAPI LocalLock(HLOCAL mem) {
  if (!headerOf(mem)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return mem;
}

BOOL WINAPI LocalUnlock(HLOCAL mem) {
  // Fixed blocks are never locked: Windows answers FALSE with no error.
  SetLastError(headerOf(mem) ? NO_ERROR : ERROR_INVALID_HANDLE);
  return FALSE;
}

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) { return LocalAlloc(flags, bytes); }
HGLOBAL WINAPI GlobalReAlloc(HGLOBAL mem, SIZE_T bytes, UINT flags) { return LocalReAlloc(mem, bytes, flags); }
HGLOBAL WINAPI GlobalFree(HGLOBAL mem) { return LocalFree(mem); }
SIZE_T WINAPI GlobalSize(HGLOBAL mem) { return LocalSize(mem); }
LPVOID WINAPI GlobalLock(HGLOBAL mem) { return LocalLock(mem); }
BOOL WINAPI GlobalUnlock(HGLOBAL mem) { return LocalUnlock(mem); }

}  // extern "C"
