#include "mail/extension_type.h"

#include "mail/mime_types_file.h"

namespace {

// Debian's media-types package.
constexpr char kMimeTypesFile[] = "/etc/mime.types";

}  // namespace

int LookupExtensionType(const std::string &extension, std::string &out) {
  return FindMimeType(kMimeTypesFile, extension.substr(1), out);
}
