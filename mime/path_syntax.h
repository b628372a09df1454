// How a file path splits into directories and a file name on this platform.
//
// Windows separates components with "\" and "/" and may begin a path with a
// drive ("C:"); POSIX separates with "/" only, so a Linux file name may hold
// a backslash. The splitting itself is portable and takes the syntax as an
// argument, so either syntax can be checked on any build. A path is 8-bit
// text in the thread code page, or UTF-8: in a double-byte code page the
// second byte of a character may be 0x5C, the Windows separator, so the
// split steps over a lead byte together with the byte after it. Paths are
// caller text: nothing here reads past the terminating NUL or touches the
// disk.
#ifndef MAILVANE_MIME_PATH_SYNTAX_H
#define MAILVANE_MIME_PATH_SYNTAX_H

#include <string>

#include "charset/lead_byte.h"

struct CPathSyntax {
  const char *separators;  // bytes that end a directory component
  bool drivePrefix;        // a path may begin with a letter and ":"
};

inline constexpr CPathSyntax kWindowsPathSyntax{"\\/", true};
inline constexpr CPathSyntax kPosixPathSyntax{"/", false};

// The syntax of the platform the procedure runs on.
const CPathSyntax &PlatformPathSyntax();

// The last component of path (name and extension joined), after its drive
// and directories, as the C library's path splitting gives it; "" for a
// path that ends with a separator. Points into path; null gives "". The
// form with a syntax alone knows no lead bytes; the form with a source
// uses the platform's syntax and the lead bytes of text of that source.
const char *LastPathComponent(const char *path, const CPathSyntax &syntax,
                              const CLeadBytes &lead);
const char *LastPathComponent(const char *path, const CPathSyntax &syntax);
const char *LastPathComponent(const char *path,
                              TextSource source = TextSource::kThreadCodePage);

// The extension of the last component: from its last "." on, the dot
// included (".txt"); "" when the component holds no dot.
std::string PathExtension(const char *path, const CPathSyntax &syntax);
std::string PathExtension(const char *path);

#endif
