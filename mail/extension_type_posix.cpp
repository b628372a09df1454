#include "mail/content_type.h"

#include <exception>

#include "mail/mime_types_file.h"
#include "mime/path_syntax.h"

namespace {

// Debian's media-types package.
constexpr char kMimeTypesFile[] = "/etc/mime.types";

}  // namespace

int LookupContentType(const char *path, std::string &out) {
  try {
    std::string extension = PathExtension(path);
    int result = kContentTypePathNotFound;
    if (!extension.empty()) {
      result = FindMimeType(kMimeTypesFile, extension.substr(1), out);
      if (result == 0) return 0;
    }
    out = kDefaultContentType;
    return result;
  } catch (const std::exception &) {
    return kContentTypeOutOfMemory;
  }
}
