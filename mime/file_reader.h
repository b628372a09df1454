// CFileReader: one file opened for reading while an attachment writes it.
//
// Open takes an existing regular file only, read-only; on Windows other
// processes may read it meanwhile but not write it (FILE_SHARE_READ). The
// path is a name of its source (charset/system_name.h): Windows opens its
// UTF-16 form, POSIX its bytes. It is caller text: it may name a FIFO,
// which would block the opening thread until a writer comes, a device that
// never ends (/dev/zero, a console) or a directory. Open never waits for such a file (POSIX: it
// opens without blocking and looks before reading) and refuses it: a
// directory with EISDIR (on Windows the open itself fails), anything else
// with EINVAL or ERROR_INVALID_PARAMETER.
//
// Read delivers up to the bytes asked for, 0 at the end of the file. On
// failure each call returns false, leaves the platform error as the
// thread's last error and keeps its code for the caller's text (Error).
// The file is closed by Close or the destructor; a reader is neither
// copied nor shared between threads.
#ifndef MAILVANE_MIME_FILE_READER_H
#define MAILVANE_MIME_FILE_READER_H

#include <cstddef>
#include <cstdint>

#include "charset/text_source.h"

class CFileReader {
 public:
  CFileReader() = default;
  ~CFileReader() { Close(); }
  CFileReader(const CFileReader &) = delete;
  CFileReader &operator=(const CFileReader &) = delete;

  bool Open(const char *path, TextSource source = TextSource::kThreadCodePage);
  // Reads up to size bytes into buffer; *delivered is the count, 0 at the
  // end of the file. Interrupted reads are retried.
  bool Read(void *buffer, std::size_t size, std::size_t *delivered);
  void Close();

  // The platform error code of the last failed call (GetLastError, errno).
  std::int32_t Error() const { return m_error; }

 private:
  // Closes the file and fails with error as the last error.
  bool Refuse(std::int32_t error);

  // A HANDLE on Windows, a descriptor elsewhere; -1 (INVALID_HANDLE_VALUE
  // on Windows) while closed.
  std::intptr_t m_handle = -1;
  std::int32_t m_error = 0;
};

#endif
