#include "files/codec/byte_reader.h"

#include <cstring>

uint64_t ByteReader::Skip(uint64_t size) {
  uint8_t scrap[4096];
  uint64_t skipped = 0;
  while (skipped < size) {
    const size_t want = size - skipped < sizeof scrap ? static_cast<size_t>(size - skipped) : sizeof scrap;
    const size_t got = Read(scrap, want);
    skipped += got;
    if (got < want) break;
  }
  return skipped;
}

size_t MemoryReader::Read(void* buffer, size_t size) {
  const size_t n = size < size_ - pos_ ? size : size_ - pos_;
  if (n) std::memcpy(buffer, data_ + pos_, n);
  pos_ += n;
  return n;
}

uint64_t MemoryReader::Skip(uint64_t size) {
  const size_t n = size < size_ - pos_ ? static_cast<size_t>(size) : size_ - pos_;
  pos_ += n;
  return n;
}
