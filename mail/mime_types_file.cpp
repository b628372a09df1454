#include "mail/mime_types_file.h"

#include <fstream>

#include "charset/ascii_case.h"
#include "mail/content_type.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

}  // namespace

int FindMimeType(const char *file, const std::string &extension, std::string &out) {
  if (file == nullptr || extension.empty()) return kContentTypeFileNotFound;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    std::size_t hash = line.find('#');
    if (hash != std::string::npos) line.resize(hash);
    std::size_t type_start = std::string::npos, type_end = 0;
    std::size_t i = 0;
    while (i < line.size()) {
      while (i < line.size() && IsBlank(line[i])) ++i;
      std::size_t start = i;
      while (i < line.size() && !IsBlank(line[i])) ++i;
      if (start == i) break;
      if (type_start == std::string::npos) {
        type_start = start;
        type_end = i;
      } else if (SameAsciiText(std::string_view(line).substr(start, i - start), extension)) {
        out.assign(line, type_start, type_end - type_start);
        return 0;
      }
    }
  }
  return kContentTypeFileNotFound;
}
