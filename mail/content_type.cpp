#include "mail/content_type.h"

#include <exception>

#include "mail/extension_type.h"
#include "mime/path_syntax.h"

int LookupContentType(const char *path, std::string &out) {
  try {
    std::string extension = PathExtension(path);
    int result = kContentTypePathNotFound;
    if (!extension.empty()) {
      result = LookupExtensionType(extension, out);
      if (result == 0) return 0;
    }
    out = kDefaultContentType;
    return result;
  } catch (const std::exception &) {
    return kContentTypeOutOfMemory;
  }
}
