#include "base/block_arena.h"

#include <sys/mman.h>

#include <bit>
#include <cassert>
#include <cstdlib>
#include <new>

namespace rxc {

BlockArena::~BlockArena() {
  for (void* chunk : chunks_) std::free(chunk);
}

int BlockArena::classOf(std::size_t bytes) {
  if (bytes <= 16) return 0;
  // 16 * 2^k is the least power-of-two class that holds `bytes`; the class
  // half a step below it, 24 * 2^(k-1) = 12 * 2^k, may hold it too.
  const int k = std::bit_width((bytes - 1) >> 4);
  return bytes <= (std::size_t{12} << k) ? 2 * k - 1 : 2 * k;
}

std::size_t BlockArena::classBytes(int sizeClass) {
  const std::size_t base = sizeClass % 2 == 0 ? 16 : 24;
  return base << (sizeClass / 2);
}

std::size_t BlockArena::blockBytes(std::size_t bytes) {
  if (bytes > kLargestClassBytes) return (bytes + kChunkBytes - 1) / kChunkBytes * kChunkBytes;
  return classBytes(classOf(bytes));
}

void* BlockArena::systemChunk(std::size_t bytes) {
  void* chunk = std::aligned_alloc(kChunkBytes, bytes);
  if (chunk == nullptr) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
  // Only a hint: where huge pages are not to be had, 4 KiB pages serve.
  madvise(chunk, bytes, MADV_HUGEPAGE);
#endif
  return chunk;
}

void BlockArena::keepTail() {
  // Largest classes first: the tail starts 8-aligned and every class is a
  // multiple of 8, so each piece stays aligned.
  for (int sizeClass = kClasses - 1; sizeClass >= 0; --sizeClass) {
    const std::size_t size = classBytes(sizeClass);
    while (static_cast<std::size_t>(end_ - next_) >= size) {
      auto* piece = reinterpret_cast<FreeBlock*>(next_);
      piece->next = free_[sizeClass];
      free_[sizeClass] = piece;
      next_ += size;
    }
  }
}

void* BlockArena::allocate(std::size_t bytes) {
  if (bytes > kLargestClassBytes) {
    if (bytes > SIZE_MAX - kChunkBytes) throw std::bad_alloc();
    return systemChunk(blockBytes(bytes));
  }
  const int sizeClass = classOf(bytes);
  if (FreeBlock* block = free_[sizeClass]; block != nullptr) {
    free_[sizeClass] = block->next;
    return block;
  }
  const std::size_t size = classBytes(sizeClass);
  if (static_cast<std::size_t>(end_ - next_) < size) {
    chunks_.reserve(chunks_.size() + 1);  // so that a chunk, once had, is kept
    char* chunk = static_cast<char*>(systemChunk(kChunkBytes));
    chunks_.push_back(chunk);
    keepTail();
    next_ = chunk;
    end_ = chunk + kChunkBytes;
  }
  void* block = next_;
  next_ += size;
  return block;
}

void BlockArena::deallocate(void* block, std::size_t bytes) noexcept {
  if (block == nullptr) return;
  if (bytes > kLargestClassBytes) {
    std::free(block);
    return;
  }
  const int sizeClass = classOf(bytes);
  assert(reinterpret_cast<std::uintptr_t>(block) % 8 == 0);
  auto* freed = static_cast<FreeBlock*>(block);
  freed->next = free_[sizeClass];
  free_[sizeClass] = freed;
}

}  // namespace rxc
