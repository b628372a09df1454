// The platform's content type for one file extension: on Windows the
// "Content Type" value of the extension's key under HKEY_CLASSES_ROOT (read
// only), elsewhere the first type that lists it in /etc/mime.types. The
// portable part of the lookup (content_type.h) finds the extension and
// gives the default type; only the lookup itself differs per platform.
#ifndef MAILVANE_MAIL_EXTENSION_TYPE_H
#define MAILVANE_MAIL_EXTENSION_TYPE_H

#include <string>

// extension is not empty and starts with its dot (".txt"). Returns 0 with
// the type in out, or the lookup's Windows error code (content_type.h);
// may throw std::bad_alloc.
int LookupExtensionType(const std::string &extension, std::string &out);

#endif
