#include "tools/compression_pool.h"

namespace setupkit {

unsigned defaultThreadCount() {
  unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : n;
}

CompressionPool::CompressionPool(Level level, unsigned threads) : level_(level) {
  if (threads == 0) threads = 1;
  for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { work(); });
}

CompressionPool::~CompressionPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  ready_.notify_all();
  for (auto& t : workers_) t.join();
}

std::future<Chunk> CompressionPool::submit(std::vector<uint8_t> piece) {
  return submit([piece = std::move(piece)](PieceCompressor& c) { return c.compress(piece.data(), piece.size()); });
}

void CompressionPool::push(std::function<void(PieceCompressor&)> job) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  ready_.notify_one();
}

void CompressionPool::work() {
  PieceCompressor compressor(level_);
  for (;;) {
    std::function<void(PieceCompressor&)> job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ready_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty()) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job(compressor);  // a packaged task: its exceptions go to its future
  }
}

}  // namespace setupkit
