#include "framework/core/buffered_read_stream.h"

#include <algorithm>
#include <cstring>

TBufferedReadStream::TBufferedReadStream(TStream& source)
    : source_(source), buffer_(new uint8_t[kCapacity]), base_(source.position()) {}

int64_t TBufferedReadStream::read(void* buffer, int64_t count) {
  uint8_t* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    if (next_ == end_) {
      // A large read bypasses the buffer; a small one refills it.
      if (count - done >= kCapacity) {
        int64_t n = source_.read(out + done, count - done);
        if (n <= 0) break;
        done += n;
        base_ += n;
        continue;
      }
      if (!refill()) break;
    }
    int64_t n = std::min(count - done, end_ - next_);
    std::memcpy(out + done, buffer_.get() + next_, size_t(n));
    next_ += n;
    done += n;
  }
  return done;
}

int64_t TBufferedReadStream::seek(int64_t offset, SeekOrigin origin) {
  const int64_t here = base_ + next_;
  if (origin == platform::kSeekCurrent && offset >= -next_ && offset <= end_ - next_) {
    next_ += offset;
    return here + offset;
  }
  int64_t target = origin == platform::kSeekCurrent ? here + offset : offset;
  int64_t at = origin == platform::kSeekEnd ? source_.seek(offset, platform::kSeekEnd)
                                            : source_.seek(target, platform::kSeekBegin);
  base_ = at;
  next_ = end_ = 0;
  return at;
}

bool TBufferedReadStream::refill() {
  base_ += end_;
  next_ = end_ = 0;
  int64_t n = source_.read(buffer_.get(), kCapacity);
  if (n <= 0) return false;
  end_ = n;
  return true;
}
