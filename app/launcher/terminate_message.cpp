// What a static program without Qt (the launcher, the uninstaller) says when
// an exception escapes: the C++ library's own handler prints the exception's
// type by its demangled name, and the demangler it links for that weighs
// about 47 KB. This one, found by the linker before the library's, prints
// the exception's message instead, then aborts as that one does.
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
  static bool called = false;
  if (called) std::abort();  // terminated again while saying why
  called = true;
  const char* what = "no exception";
  if (const std::exception_ptr escaped = std::current_exception()) {
    what = "an exception that is no std::exception";
    try {
      std::rethrow_exception(escaped);
    } catch (const std::exception& e) {
      what = e.what();
    } catch (...) {
    }
  }
  std::fprintf(stderr, "terminate called: %s\n", what);
  std::abort();
}

}  // namespace __gnu_cxx
