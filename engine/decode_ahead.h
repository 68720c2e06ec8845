#pragma once
// Decoding ahead of a restore. A second thread reads the archive volume the
// restore reads, finds the compressed chunks that come next and decodes them
// into a few buffers, while the restore creates and writes files. When the
// restore reaches a chunk it takes the decoded bytes instead of decoding them
// itself; when it would have to wait for the thread, it decodes a later chunk
// the thread has read but not begun, so both processors stay busy. It is speculation only: a chunk is handed over only
// when its compressed bytes equal the ones the restore read, and only when the fast decoder decoded it completely (what
// the restore's own decoding would give too); everything else the restore decodes as before. So the restore's output,
// results and events are the same with or without it.
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "engine/archive_format.h"
#include "framework/core/stream.h"

class TDecodeAhead {
 public:
  // Where reading starts: an entry record, or a data block (the start of a
  // continuation volume).
  enum class Start { AtRecord, AtBlock };

  // Starts reading the volume `fileName` (Windows-form) at `offset`. Without
  // a second processor, or when no thread can be started, it does nothing and
  // take() always answers null.
  TDecodeAhead(const std::string& fileName, int64_t offset, Start start);
  // Stops the thread and closes its file.
  ~TDecodeAhead();
  TDecodeAhead(const TDecodeAhead&) = delete;
  TDecodeAhead& operator=(const TDecodeAhead&) = delete;

  // The decoded bytes of the compressed chunk whose `length` bytes `in` start
  // at `offset` in the volume, with their count in *produced; null when that
  // chunk was not decoded ahead from the same bytes (the caller decodes it).
  // Waits only for a chunk the thread is decoding at that moment, and decodes
  // later chunks meanwhile. The bytes stay valid until the next call.
  const uint8_t* take(int64_t offset, const uint8_t* in, uint32_t length, uint32_t* produced);

  // Waits until the thread has stopped reading or has every buffer in use.
  void waitUntilIdleForTesting();

  // The largest chunk, compressed or decoded: the decoder's 16 KiB area.
  static constexpr uint32_t kChunkArea = archive_format::kChunkArea;

 private:
  struct Slot;
  void run(std::unique_ptr<TFileStream> file, Start start);
  // A free slot for the chunk at `offset`; null when stopping, or at once
  // when `wait` is false and every slot is in use.
  Slot* acquire(int64_t offset, uint32_t length, bool wait);
  // Marks a slot whose compressed bytes are read as ready to be decoded.
  void markRead(Slot* slot);
  // Decodes `slot` unless another thread has begun it. Call with `lock`
  // held; it is released while decoding.
  void decodeIfWaiting(Slot* slot, std::unique_lock<std::mutex>& lock);
  Slot* slotAt(int index) const;

  static constexpr int kSlots = 16;
  std::unique_ptr<Slot[]> slots_;
  int head_ = 0;           // the next slot the thread fills
  int tail_ = 0;           // the oldest slot not yet released
  int used_ = 0;           // slots between tail_ and head_
  bool heldTail_ = false;  // the tail slot's bytes were handed out by take()
  int64_t consumed_ = 0;   // the restore has read the volume up to here
  bool stop_ = false;
  bool finished_ = false;  // the thread has stopped reading
  std::mutex mutex_;
  bool threadWaiting_ = false;   // the thread waits for free slots
  bool restoreWaiting_ = false;  // the restore waits for a chunk
  std::condition_variable forThread_;
  std::condition_variable forRestore_;
  std::thread thread_;
};
