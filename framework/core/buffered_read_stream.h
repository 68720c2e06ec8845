#pragma once
// A read-only stream that reads another one through a buffer, so that many
// small reads (4-byte lengths, short names) cost one system call per buffer
// rather than one each. Large reads bypass the buffer; seeks within the
// buffered bytes move inside it.
#include <cstdint>
#include <memory>

#include "framework/core/stream.h"

class TBufferedReadStream : public TStream {
 public:
  // Reads `source`, which must outlive this stream, from its current position.
  explicit TBufferedReadStream(TStream& source);

  int64_t read(void* buffer, int64_t count) override;
  // Writing is not supported: stores nothing.
  int64_t write(const void*, int64_t) override { return 0; }
  int64_t seek(int64_t offset, SeekOrigin origin) override;

 private:
  static constexpr int64_t kCapacity = 65536;
  bool refill();

  TStream& source_;
  std::unique_ptr<uint8_t[]> buffer_;
  int64_t base_;      // source position of buffer_[0]
  int64_t next_ = 0;  // next byte to deliver
  int64_t end_ = 0;   // bytes in the buffer
};
