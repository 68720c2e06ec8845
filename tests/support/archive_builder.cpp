#include "tests/support/archive_builder.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

std::string int32Bytes(int32_t value) {
  uint32_t v = uint32_t(value);
  char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char((v >> 24) & 0xFF)};
  return std::string(b, 4);
}

std::string zlibCompress(const std::string& data, int level) {
  uLongf size = compressBound(uLong(data.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                uLong(data.size()), level) != Z_OK)
    throw std::runtime_error("compress2 failed");
  out.resize(size);
  return out;
}

std::string zlibCompressWith(const std::string& data, int level, int strategy, size_t flushEvery) {
  z_stream z;
  std::memset(&z, 0, sizeof z);
  if (deflateInit2(&z, level, Z_DEFLATED, 15, 8, strategy) != Z_OK) throw std::runtime_error("deflateInit2 failed");
  const size_t step = flushEvery ? flushEvery : std::max<size_t>(data.size(), 1);
  std::string out(deflateBound(&z, uLong(data.size())) + 64 + 8 * (data.size() / step + 1), '\0');
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = uInt(out.size());
  int r = Z_OK;
  for (size_t at = 0; r == Z_OK;) {
    const size_t n = std::min(step, data.size() - at);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + at));
    z.avail_in = uInt(n);
    at += n;
    r = deflate(&z, at == data.size() ? Z_FINISH : Z_FULL_FLUSH);
  }
  out.resize(z.total_out);
  deflateEnd(&z);
  if (r != Z_STREAM_END) throw std::runtime_error("deflate failed");
  return out;
}

std::string zlibCompressWithDictionary(const std::string& data, const std::string& dictionary) {
  z_stream z;
  std::memset(&z, 0, sizeof z);
  if (deflateInit(&z, 9) != Z_OK) throw std::runtime_error("deflateInit failed");
  deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(dictionary.data()), uInt(dictionary.size()));
  std::string out(deflateBound(&z, uLong(data.size())) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = uInt(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = uInt(out.size());
  int r = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (r != Z_STREAM_END) throw std::runtime_error("deflate failed");
  return out;
}

std::string patternBytes(size_t n, uint32_t seed) {
  std::string out(n, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    out[i] = char(x & 0xFF);
  }
  return out;
}

// ---- DataBlock ----

DataBlock& DataBlock::signature(const std::string& fourBytes) {
  signature_ = fourBytes;
  return *this;
}

DataBlock& DataBlock::stored(const std::string& bytes) {
  chunks_ += int32Bytes(-int32_t(bytes.size())) + bytes;
  return *this;
}

DataBlock& DataBlock::compressed(const std::string& bytes, int level) {
  return compressedRaw(zlibCompress(bytes, level));
}

DataBlock& DataBlock::compressedRaw(const std::string& zlibBytes) {
  chunks_ += int32Bytes(int32_t(zlibBytes.size())) + zlibBytes;
  return *this;
}

DataBlock& DataBlock::chunkLength(int32_t length) {
  chunks_ += int32Bytes(length);
  return *this;
}

DataBlock& DataBlock::raw(const std::string& bytes) {
  chunks_ += bytes;
  return *this;
}

DataBlock& DataBlock::unterminated() {
  terminated_ = false;
  return *this;
}

DataBlock DataBlock::ofContent(const std::string& content, bool compress, size_t piece) {
  DataBlock block;
  for (size_t at = 0; at < content.size(); at += piece) {
    std::string part = content.substr(at, std::min(piece, content.size() - at));
    std::string packed = compress ? zlibCompress(part) : std::string();
    // As a writer does: a piece whose stream would not fit a chunk is stored.
    if (compress && packed.size() <= 16384)
      block.compressedRaw(packed);
    else
      block.stored(part);
  }
  return block;
}

std::string DataBlock::bytes() const { return signature_ + chunks_ + (terminated_ ? int32Bytes(0) : std::string()); }

// ---- ArchiveBuilder ----

ArchiveBuilder& ArchiveBuilder::header(int32_t totalSize, int32_t headerExtra, const std::string& headerText) {
  return int32(int32_t(headerText.size())).raw(headerText).int32(totalSize).int32(headerExtra);
}

ArchiveBuilder& ArchiveBuilder::file(const std::string& entryName, uint32_t fileDate, const DataBlock& data) {
  return name(entryName).int32(int32_t(fileDate)).block(data);
}

ArchiveBuilder& ArchiveBuilder::storedFile(const std::string& entryName, uint32_t fileDate,
                                           const std::string& content) {
  return file(entryName, fileDate, DataBlock().stored(content));
}

ArchiveBuilder& ArchiveBuilder::fileList(uint32_t fileDate, const DataBlock& data) {
  return file("FILE:LIST", fileDate, data);
}

ArchiveBuilder& ArchiveBuilder::volumeChange(const std::string& volumeNumber) {
  return name("NEXT:DISK" + volumeNumber);
}

ArchiveBuilder& ArchiveBuilder::name(const std::string& entryName) {
  return int32(int32_t(entryName.size())).raw(entryName);
}

ArchiveBuilder& ArchiveBuilder::filler(int32_t negativeLength) { return int32(negativeLength); }

ArchiveBuilder& ArchiveBuilder::block(const DataBlock& data) { return raw(data.bytes()); }

ArchiveBuilder& ArchiveBuilder::end() { return int32(0); }

ArchiveBuilder& ArchiveBuilder::int32(int32_t value) { return raw(int32Bytes(value)); }

ArchiveBuilder& ArchiveBuilder::raw(const std::string& bytes) {
  bytes_ += bytes;
  return *this;
}

ArchiveBuilder& ArchiveBuilder::mark(const std::string& label) {
  marks_[label] = bytes_.size();
  return *this;
}
