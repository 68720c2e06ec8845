// Stand-ins for entry points of the static C libraries the launcher links,
// so that the linker takes the code behind them from neither library. Debian
// builds both without function sections: an object the link takes comes
// whole, with everything it names.
//
// zstd: the launcher decodes only the frames setupkit writes (the current
// format). Debian's libzstd.a is built with the decoders of the legacy
// formats 0.5 to 0.7, which its frame decoder calls when a frame starts with
// one of their magic numbers; compiled without function sections, they would
// all come along (about 90 KB). These definitions stand in for the entry
// points it names, so that the linker takes none of those decoders from the
// library: a legacy frame is refused as an unsupported version (a packed
// runtime never holds one; one that does is damaged).
#include <cstddef>
#include <cstdlib>

namespace {

// zstd's error codes are returned as (size_t)-code; 12 is "version not
// supported".
constexpr size_t kVersionUnsupported = ~size_t(0) - 11;
constexpr unsigned long long kContentSizeError = ~0ULL - 1;  // ZSTD_CONTENTSIZE_ERROR

void* createContext() { return nullptr; }  // the library reports a failed allocation
size_t refuse() { return kVersionUnsupported; }
void frameSizeUnknown(size_t* compressedSize, unsigned long long* decompressedBound) {
  *compressedSize = kVersionUnsupported;
  *decompressedBound = kContentSizeError;
}

}  // namespace

#define SETUPKIT_NO_LEGACY_VERSION(v)                                                                       \
  extern "C" {                                                                                              \
  void* ZSTDv0##v##_createDCtx() { return createContext(); }                                                \
  size_t ZSTDv0##v##_freeDCtx(void*) { return 0; }                                                          \
  size_t ZSTDv0##v##_decompress_usingDict(void*, void*, size_t, const void*, size_t, const void*, size_t) { \
    return refuse();                                                                                        \
  }                                                                                                         \
  void ZSTDv0##v##_findFrameSizeInfoLegacy(const void*, size_t, size_t* c, unsigned long long* d) {         \
    frameSizeUnknown(c, d);                                                                                 \
  }                                                                                                         \
  size_t ZSTDv0##v##_getFrameParams(void*, const void*, size_t) { return refuse(); }                        \
  void* ZBUFFv0##v##_createDCtx() { return createContext(); }                                               \
  size_t ZBUFFv0##v##_freeDCtx(void*) { return 0; }                                                         \
  size_t ZBUFFv0##v##_decompressInitDictionary(void*, const void*, size_t) { return refuse(); }             \
  size_t ZBUFFv0##v##_decompressContinue(void*, void*, size_t*, const void*, size_t*) { return refuse(); }  \
  }

SETUPKIT_NO_LEGACY_VERSION(5)
SETUPKIT_NO_LEGACY_VERSION(6)
SETUPKIT_NO_LEGACY_VERSION(7)

// libsodium: its BLAKE2b and its helpers call sodium_misuse on a misuse of
// the interface (a hash length out of range), which aborts unless the
// program set a handler. The library's own lies in the object of
// sodium_init, which names an implementation chooser of every primitive
// (about 100 KB of ciphers, hashes and key derivations the launcher never
// calls). The launcher sets no handler: it aborts, as the library would.
extern "C" [[noreturn]] void sodium_misuse() { std::abort(); }
