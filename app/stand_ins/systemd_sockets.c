/* The stand-in for libsystemd.so.0 in a medium's runtime. The D-Bus client
 * library (which Qt's screen reader support loads) needs libsystemd for two
 * functions only, sd_listen_fds and sd_is_socket, with which a D-Bus server
 * takes the sockets systemd opened for it. The setup program is no server and
 * never calls them; but the loader wants the library, and the real one brings
 * libgcrypt, liblzma, liblz4, libcap and libgpg-error along (about 1 MB
 * packed). These two do what the real ones do (the same results for the same
 * environment and descriptors); setupkit takes this library in its place
 * only when nothing in the runtime needs more of it (tools/runtime_gather.h).
 */
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#define SD_LISTEN_FDS_START 3

/* A decimal number that fills the whole text; -1 when it is none. */
static long wholeNumber(const char* text) {
  char* end = NULL;
  errno = 0;
  const long value = text && *text ? strtol(text, &end, 10) : -1;
  return errno != 0 || !end || *end != '\0' || value < 0 ? -1 : value;
}

int sd_listen_fds(int unset_environment) {
  int result = 0;
  const char* pid = getenv("LISTEN_PID");
  if (pid) {
    const long owner = wholeNumber(pid);
    if (owner <= 0) {
      result = -EINVAL;
    } else if (owner == (long)getpid()) {
      const long count = wholeNumber(getenv("LISTEN_FDS"));
      if (count < 0 || count > 0x7FFFFFFF - SD_LISTEN_FDS_START) {
        result = -EINVAL;
      } else {
        for (int fd = SD_LISTEN_FDS_START; fd < SD_LISTEN_FDS_START + (int)count; ++fd) {
          const int flags = fcntl(fd, F_GETFD);
          if (flags < 0 || (!(flags & FD_CLOEXEC) && fcntl(fd, F_SETFD, flags | FD_CLOEXEC) < 0)) {
            result = -errno;
            break;
          }
        }
        if (result == 0) result = (int)count;
      }
    }
  }
  if (unset_environment) {
    unsetenv("LISTEN_PID");
    unsetenv("LISTEN_FDS");
    unsetenv("LISTEN_FDNAMES");
  }
  return result;
}

int sd_is_socket(int fd, int family, int type, int listening) {
  if (fd < 0) return -EBADF;
  if (family < 0 || type < 0) return -EINVAL;
  struct stat st;
  if (fstat(fd, &st) < 0) return -errno;
  if (!S_ISSOCK(st.st_mode)) return 0;
  if (type != 0) {
    int other = 0;
    socklen_t length = sizeof other;
    if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &other, &length) < 0) return -errno;
    if (length != sizeof other) return -EINVAL;
    if (other != type) return 0;
  }
  if (listening >= 0) {
    int accepting = 0;
    socklen_t length = sizeof accepting;
    if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &accepting, &length) < 0) return -errno;
    if (length != sizeof accepting) return -EINVAL;
    if (!accepting != !listening) return 0;
  }
  if (family > 0) {
    struct sockaddr_storage address;
    socklen_t length = sizeof address;
    if (getsockname(fd, (struct sockaddr*)&address, &length) < 0) return -errno;
    if (length < sizeof(sa_family_t)) return -EINVAL;
    return address.ss_family == family;
  }
  return 1;
}
