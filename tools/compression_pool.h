#pragma once
// Compresses pieces on worker threads. Pieces are independent, so the chunks
// do not depend on which thread made them or in which order: an archive is the
// same whatever the number of threads.
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "tools/piece_compressor.h"

namespace setupkit {

class CompressionPool {
 public:
  // Starts `threads` workers (at least one), each with its own compressor.
  CompressionPool(Level level, unsigned threads);
  // Lets the workers finish the queued pieces, then joins them.
  ~CompressionPool();
  CompressionPool(const CompressionPool&) = delete;
  CompressionPool& operator=(const CompressionPool&) = delete;

  // Queues a piece of 1 to kPieceSize bytes; the future yields its chunk (or
  // the exception its compression raised).
  std::future<Chunk> submit(std::vector<uint8_t> piece);

  unsigned threads() const { return unsigned(workers_.size()); }

 private:
  struct Job {
    std::vector<uint8_t> piece;
    std::promise<Chunk> result;
  };
  void work();

  Level level_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Job> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

// The number of threads to use when none is asked for: every core.
unsigned defaultThreadCount();

}  // namespace setupkit
