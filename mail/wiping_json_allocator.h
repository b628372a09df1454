// CWipingJsonAllocator: an allocator of RapidJSON's kind (its Malloc,
// Realloc and static Free) whose every block is wiped before it goes back:
// the memory of a parser that reads a text holding a secret (a token
// reply, the profile store), beside the secret string type.
//
// RapidJSON frees a block without its size, so each block carries its size
// in front. A block that grows is copied into a new one and the old one is
// wiped; nothing of it is left in freed memory. Like std::allocator it
// throws std::bad_alloc when memory runs out. Stateless: one frees what any
// other allocated.
#ifndef MAILVANE_MAIL_WIPING_JSON_ALLOCATOR_H
#define MAILVANE_MAIL_WIPING_JSON_ALLOCATOR_H

#include <cstddef>
#include <cstring>
#include <new>

#include "mail/secure_zero.h"

class CWipingJsonAllocator {
 public:
  // RapidJSON's marker of an allocator whose Free does something.
  static const bool kNeedFree = true;

  // null for 0 bytes, as RapidJSON's own allocator gives.
  void *Malloc(std::size_t size) {
    if (size == 0) return nullptr;
    char *block = static_cast<char *>(::operator new(kHeader + size));
    *reinterpret_cast<std::size_t *>(block) = size;
    return block + kHeader;
  }

  void *Realloc(void *original, std::size_t originalSize, std::size_t newSize) {
    void *grown = Malloc(newSize);
    if (original != nullptr && grown != nullptr)
      std::memcpy(grown, original, originalSize < newSize ? originalSize : newSize);
    Free(original);
    return grown;
  }

  static void Free(void *p) {
    if (p == nullptr) return;
    char *block = static_cast<char *>(p) - kHeader;
    SecureZero(block, kHeader + *reinterpret_cast<std::size_t *>(block));
    ::operator delete(block);
  }

 private:
  // Room for the size in front of a block, keeping new's alignment.
  static constexpr std::size_t kHeader = alignof(std::max_align_t);
};

#endif
