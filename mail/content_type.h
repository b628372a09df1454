// The content type of a file, from its name's extension.
//
// On Windows the "Content Type" value of the extension's key under
// HKEY_CLASSES_ROOT (read only); elsewhere the first type that lists the
// extension in /etc/mime.types (Debian's media-types package), the
// extension compared without regard to case. Nothing is cached and the file
// itself is never looked at.
//
// The result is 0 when a type was found, else a Windows error code with
// "application/octet-stream" in out: 3 for a name without extension, 2 for
// an extension nobody knows, 13 for a registry value that is not a
// zero-terminated string, another registry error as the registry gave it,
// and 14 when memory ran out. The lookup of the extension itself is the
// platform's (extension_type.h).
#ifndef MAILVANE_MAIL_CONTENT_TYPE_H
#define MAILVANE_MAIL_CONTENT_TYPE_H

#include <string>

inline constexpr char kDefaultContentType[] = "application/octet-stream";

// Windows error codes the lookup gives on every platform.
inline constexpr int kContentTypeFileNotFound = 2;   // ERROR_FILE_NOT_FOUND
inline constexpr int kContentTypePathNotFound = 3;   // ERROR_PATH_NOT_FOUND
inline constexpr int kContentTypeInvalidData = 13;   // ERROR_INVALID_DATA
inline constexpr int kContentTypeOutOfMemory = 14;   // ERROR_OUTOFMEMORY

int LookupContentType(const char *path, std::string &out);

#endif
