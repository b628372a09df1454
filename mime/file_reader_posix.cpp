#include "mime/file_reader.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The path's bytes are the name, whatever its source.
bool CFileReader::Open(const char *path, TextSource) {
  Close();
  if (path == nullptr) {
    m_error = errno = EINVAL;
    return false;
  }
  // O_NONBLOCK: opening a FIFO would otherwise wait for a writer.
  // O_NOCTTY: a terminal never becomes the process's controlling one.
  int fd;
  do {
    fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    m_error = errno;
    return false;
  }
  m_handle = fd;
  struct stat info;
  if (::fstat(fd, &info) != 0) return Refuse(errno);
  if (S_ISDIR(info.st_mode)) return Refuse(EISDIR);
  if (!S_ISREG(info.st_mode)) return Refuse(EINVAL);
  // A regular file is read with blocking reads.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return Refuse(errno);
  return true;
}

bool CFileReader::Refuse(std::int32_t error) {
  Close();
  m_error = errno = error;
  return false;
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
