#pragma once
// Runs compression work on worker threads, each with its own compressor.
// Pieces are independent, so the chunks do not depend on which thread made
// them or in which order: an archive is the same whatever the number of
// threads.
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "tools/piece_compressor.h"

namespace setupkit {

class CompressionPool {
 public:
  // Starts `threads` workers (at least one).
  CompressionPool(Level level, unsigned threads);
  // Lets the workers finish the queued work, then joins them.
  ~CompressionPool();
  CompressionPool(const CompressionPool&) = delete;
  CompressionPool& operator=(const CompressionPool&) = delete;

  // Queues work that needs a compressor; the future yields its result, or
  // the exception it raised.
  template <typename Work>
  auto submit(Work work) -> std::future<decltype(work(std::declval<PieceCompressor&>()))> {
    using Result = decltype(work(std::declval<PieceCompressor&>()));
    auto task = std::make_shared<std::packaged_task<Result(PieceCompressor&)>>(std::move(work));
    auto future = task->get_future();
    push([task](PieceCompressor& compressor) { (*task)(compressor); });
    return future;
  }

  // Queues one piece of 1 to kPieceSize bytes.
  std::future<Chunk> submit(std::vector<uint8_t> piece);

 private:
  void push(std::function<void(PieceCompressor&)> job);
  void work();

  Level level_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void(PieceCompressor&)>> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

// The number of threads to use when none is asked for: every core.
unsigned defaultThreadCount();

}  // namespace setupkit
