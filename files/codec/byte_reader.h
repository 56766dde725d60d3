// The bytes a file parser reads, from memory or from an open stream. A
// parser sees nothing else: it never learns where its bytes come from, so a
// test or a fuzzer hands it a buffer while a loader hands it the file, read
// as it goes (a WAV file may be far larger than the codes taken from it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class ByteReader {
 public:
  virtual ~ByteReader() = default;
  // Reads up to `size` bytes into `buffer` and returns how many were read:
  // fewer only at the end of the bytes or when reading failed.
  virtual size_t Read(void* buffer, size_t size) = 0;
  // True once a read has failed: the bytes did not end where reading stopped.
  virtual bool Failed() const { return false; }
  // Passes over up to `size` bytes and returns how many there were. Reads
  // and discards unless a reader knows better: a size taken from a file may
  // point far beyond the file's end.
  virtual uint64_t Skip(uint64_t size);
};

// Bytes in memory; they must outlive the reader.
class MemoryReader final : public ByteReader {
 public:
  MemoryReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  size_t Read(void* buffer, size_t size) override;
  uint64_t Skip(uint64_t size) override;

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// An open stream from its current position; it stays the caller's to close.
class FileReader final : public ByteReader {
 public:
  explicit FileReader(FILE* fp) : fp_(fp) {}
  size_t Read(void* buffer, size_t size) override { return std::fread(buffer, 1, size, fp_); }
  bool Failed() const override { return std::ferror(fp_) != 0; }

 private:
  FILE* fp_;
};
