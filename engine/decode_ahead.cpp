#include "engine/decode_ahead.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "engine/backup_file.h"
#include "engine/record_reader.h"
#include "engine/zlib_inflater.h"
#include "framework/core/buffered_read_stream.h"

namespace {

// Longer names are taken for damage: the thread stops reading there.
constexpr int32_t kLongestName = 65536;
// How long the restore waits for a chunk the thread is decoding.
constexpr std::chrono::milliseconds kLongestWait{2};

}  // namespace

struct TDecodeAhead::Slot {
  // Reading: the thread reads the compressed bytes; Read: they wait for a
  // decoder; Decoding: one thread decodes them; Decoded: done.
  enum State { Reading, Read, Decoding, Decoded };
  uint8_t in[kChunkArea];
  uint8_t out[kChunkArea];
  // offset, length and state change under the mutex; the bytes and the
  // outcome belong to the thread that moved the slot to its current state.
  int64_t offset = 0;   // where the compressed bytes start in the volume
  uint32_t length = 0;  // compressed bytes
  State state = Reading;
  uint32_t produced = 0;  // decoded bytes
  bool ok = false;        // the fast decoder decoded the whole chunk
};

TDecodeAhead::TDecodeAhead(const std::string& fileName, int64_t offset, Start start) {
  if (std::thread::hardware_concurrency() < 2) return;
  try {
    // Opened here, so that the thread makes no path lookups of its own.
    auto file = std::make_unique<TFileStream>(fileName, fmOpenRead | fmShareDenyNone);
    file->seek(offset, platform::kSeekBegin);
    slots_.reset(new Slot[kSlots]);
    thread_ = std::thread(&TDecodeAhead::run, this, std::move(file), start);
  } catch (const std::exception&) {
    // No file, no memory or no thread: the restore decodes every chunk itself.
  }
}

TDecodeAhead::~TDecodeAhead() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  forThread_.notify_all();
  thread_.join();
}

TDecodeAhead::Slot* TDecodeAhead::slotAt(int index) const { return &slots_[index % kSlots]; }

TDecodeAhead::Slot* TDecodeAhead::acquire(int64_t offset, uint32_t length, bool wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (wait && used_ == kSlots) {
    // Woken only once half the slots are free again, not for every one.
    threadWaiting_ = true;
    forThread_.wait(lock, [&] { return stop_ || used_ <= kSlots / 2; });
    threadWaiting_ = false;
  }
  if (stop_ || used_ == kSlots) return nullptr;
  Slot* slot = slotAt(head_);
  slot->offset = offset;
  slot->length = length;
  slot->state = Slot::Reading;
  head_ = (head_ + 1) % kSlots;
  ++used_;
  return slot;
}

void TDecodeAhead::markRead(Slot* slot) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    slot->state = Slot::Read;
    if (restoreWaiting_) forRestore_.notify_one();
  }
}

void TDecodeAhead::decodeIfWaiting(Slot* slot, std::unique_lock<std::mutex>& lock) {
  if (slot->state != Slot::Read) return;
  slot->state = Slot::Decoding;
  lock.unlock();
  slot->ok = inflateChunkFast(slot->in, slot->length, slot->out, kChunkArea, &slot->produced);
  lock.lock();
  slot->state = Slot::Decoded;
  if (restoreWaiting_) forRestore_.notify_one();
}

void TDecodeAhead::run(std::unique_ptr<TFileStream> file, Start start) {
  // Reads the volume as the restore does: entry records (filler, a name, a
  // date) each followed by a data block of chunks, up to the end marker or a
  // volume change. Anything unexpected ends the reading; the restore meets
  // it on its own.
  Slot* pending = nullptr;  // read, and not yet decoded by this thread
  auto decodePending = [&] {
    if (!pending) return;
    std::unique_lock<std::mutex> lock(mutex_);
    decodeIfWaiting(pending, lock);
    pending = nullptr;
  };
  try {
    using archive_format::Record;
    TBufferedReadStream reader(*file);
    // A longer name is damage: the restore meets it on its own.
    archive_format::StreamSource source(reader, kLongestName);
    archive_format::RecordReader records(source);
    bool atRecord = start == Start::AtRecord;
    for (;;) {
      if (atRecord) {
        const Record record = records.next();
        if (record.kind == Record::Kind::Filler) continue;
        if (record.kind == Record::Kind::End || record.kind == Record::Kind::VolumeChange) break;
        records.fileDate();
      }
      atRecord = true;
      if (!records.blockStarts()) break;
      bool blockRead = false;
      for (;;) {
        const archive_format::ChunkHead chunk = records.chunk();
        if (chunk.end()) {
          blockRead = true;
          break;
        }
        const int64_t length = chunk.length;
        if (length > kChunkArea) break;
        const int64_t at = chunk.offset;
        bool passed = false;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          if (stop_) break;
          passed = at < consumed_;
        }
        // Stored chunks need no decoding, and chunks the restore has
        // already read are of no use.
        if (chunk.stored() || passed) {
          reader.seek(length, platform::kSeekCurrent);
          continue;
        }
        // A chunk is decoded here only once the next one is read, so that
        // the restore always finds one it can decode itself instead of
        // waiting for this thread.
        Slot* slot = acquire(at, uint32_t(length), false);
        if (!slot) {
          decodePending();
          slot = acquire(at, uint32_t(length), true);
          if (!slot) break;
        }
        reader.readBuffer(slot->in, length);
        markRead(slot);
        decodePending();
        pending = slot;
      }
      if (!blockRead) break;
    }
    decodePending();
  } catch (const std::exception&) {
    // A volume that ends early or cannot be read: the restore reports it,
    // and decodes a chunk left waiting itself.
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
    if (restoreWaiting_) forRestore_.notify_one();
  }
}

void TDecodeAhead::waitUntilIdleForTesting() {
  if (!thread_.joinable()) return;
  std::unique_lock<std::mutex> lock(mutex_);
  restoreWaiting_ = true;
  forRestore_.wait(lock, [&] { return finished_ || used_ == kSlots; });
  restoreWaiting_ = false;
}

const uint8_t* TDecodeAhead::take(int64_t offset, const uint8_t* in, uint32_t length, uint32_t* produced) {
  if (!thread_.joinable()) return nullptr;
  std::unique_lock<std::mutex> lock(mutex_);
  auto releaseTail = [&] {
    tail_ = (tail_ + 1) % kSlots;
    --used_;
    heldTail_ = false;
    if (threadWaiting_ && used_ <= kSlots / 2) forThread_.notify_one();
  };
  // The chunk handed out last time and every chunk before this one are done
  // with; one that was read but not begun is dropped.
  if (heldTail_) releaseTail();
  while (used_ > 0 && slotAt(tail_)->offset < offset) {
    Slot* passed = slotAt(tail_);
    if (passed->state == Slot::Read) passed->state = Slot::Decoded;
    if (passed->state != Slot::Decoded) break;
    releaseTail();
  }
  consumed_ = std::max(consumed_, offset + int64_t(length));
  if (used_ == 0 || slotAt(tail_)->offset != offset) return nullptr;
  Slot& slot = *slotAt(tail_);
  while (slot.state != Slot::Decoded) {
    if (slot.state == Slot::Read) {
      decodeIfWaiting(&slot, lock);
      break;
    }
    if (finished_ && slot.state == Slot::Reading) return nullptr;  // its bytes never came
    // The thread is at this chunk: rather than wait, decode a later one it
    // has read but not begun.
    Slot* later = nullptr;
    for (int i = 1; i < used_ && !later; ++i)
      if (slotAt(tail_ + i)->state == Slot::Read) later = slotAt(tail_ + i);
    if (later) {
      decodeIfWaiting(later, lock);
      continue;
    }
    // A chunk takes some microseconds to decode; a thread that has not
    // finished after a good while has no processor (a busy machine), and the
    // restore is quicker decoding the chunk itself.
    restoreWaiting_ = true;
    const bool late = forRestore_.wait_for(lock, kLongestWait) == std::cv_status::timeout;
    restoreWaiting_ = false;
    if (late && (slot.state == Slot::Reading || slot.state == Slot::Decoding)) return nullptr;
  }
  if (!slot.ok || slot.length != length || std::memcmp(slot.in, in, length) != 0) {
    releaseTail();
    return nullptr;
  }
  heldTail_ = true;
  *produced = slot.produced;
  return slot.out;
}
