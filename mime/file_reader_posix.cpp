#include "mime/file_reader.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

bool CFileReader::Open(const char *path) {
  Close();
  if (path == nullptr) {
    m_error = errno = EINVAL;
    return false;
  }
  int fd;
  do {
    fd = ::open(path, O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    m_error = errno;
    return false;
  }
  m_handle = fd;
  return true;
}

bool CFileReader::Read(void *buffer, std::size_t size, std::size_t *delivered) {
  *delivered = 0;
  if (m_handle < 0) {
    m_error = errno = EBADF;
    return false;
  }
  ssize_t got;
  do {
    got = ::read(static_cast<int>(m_handle), buffer, size);
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    m_error = errno;
    return false;
  }
  *delivered = static_cast<std::size_t>(got);
  return true;
}

void CFileReader::Close() {
  if (m_handle < 0) return;
  // Keep the thread's error as a failure left it: close only tidies up.
  int saved = errno;
  ::close(static_cast<int>(m_handle));
  errno = saved;
  m_handle = -1;
}
