#include "mime/path_syntax.h"

#include <cstring>

namespace {

// From the last "." of a file name on; "." is never the second byte of a
// double-byte character.
std::string ExtensionOf(const char *name) {
  const char *dot = std::strrchr(name, '.');
  return dot != nullptr ? std::string(dot) : std::string();
}

}  // namespace

const char *LastPathComponent(const char *path, const CPathSyntax &syntax,
                              const CLeadBytes &lead) {
  if (path == nullptr) return "";
  const char *name = path;
  // Only the first two bytes can form a drive, as in "C:name.txt"; ":" is
  // never the second byte of a double-byte character.
  if (syntax.drivePrefix && path[0] != '\0' && path[1] == ':') name = path + 2;
  for (const char *p = name; *p != '\0'; ++p) {
    if (lead.IsLead(static_cast<unsigned char>(*p))) {
      // A lead byte that ends the path stands alone.
      if (p[1] == '\0') break;
      ++p;
      continue;
    }
    if (std::strchr(syntax.separators, *p) != nullptr) name = p + 1;
  }
  return name;
}

const char *LastPathComponent(const char *path, const CPathSyntax &syntax) {
  return LastPathComponent(path, syntax, CLeadBytes());
}

const char *LastPathComponent(const char *path, TextSource source) {
  return LastPathComponent(path, PlatformPathSyntax(), LeadBytesOf(source));
}

std::string PathExtension(const char *path, const CPathSyntax &syntax) {
  return ExtensionOf(LastPathComponent(path, syntax));
}

std::string PathExtension(const char *path) { return ExtensionOf(LastPathComponent(path)); }
