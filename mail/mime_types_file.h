// Reading a mime.types file: lines of a media type followed by the
// extensions it stands for, separated by blanks; "#" starts a comment.
//
// FindMimeType gives the first type whose list holds extension (without
// its dot), compared without regard to case. The file is system
// configuration, read line by line and never held whole.
#ifndef MAILVANE_MAIL_MIME_TYPES_FILE_H
#define MAILVANE_MAIL_MIME_TYPES_FILE_H

#include <string>

// Returns 0 with the type in out, or kContentTypeFileNotFound when the file
// cannot be read or no line lists the extension (out unchanged then).
int FindMimeType(const char *file, const std::string &extension, std::string &out);

#endif
