#include "mime/path_syntax.h"

#include <cstring>

const char *LastPathComponent(const char *path, const CPathSyntax &syntax) {
  if (path == nullptr) return "";
  const char *name = path;
  // Only the first two bytes can form a drive, as in "C:name.txt".
  if (syntax.drivePrefix && path[0] != '\0' && path[1] == ':') name = path + 2;
  for (const char *p = name; *p != '\0'; ++p) {
    if (std::strchr(syntax.separators, *p) != nullptr) name = p + 1;
  }
  return name;
}

const char *LastPathComponent(const char *path) {
  return LastPathComponent(path, PlatformPathSyntax());
}

std::string PathExtension(const char *path, const CPathSyntax &syntax) {
  const char *dot = std::strrchr(LastPathComponent(path, syntax), '.');
  return dot != nullptr ? std::string(dot) : std::string();
}

std::string PathExtension(const char *path) { return PathExtension(path, PlatformPathSyntax()); }
