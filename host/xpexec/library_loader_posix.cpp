// POSIX: dlopen and dlsym; the executable's path from /proc/self/exe; the
// version note from the loaded library's PT_NOTE segments (dlinfo and
// dl_iterate_phdr).
#include "host/xpexec/library_loader.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "proc/version_note.h"

namespace xpexec {

namespace {

constexpr const char *kLibraryFileName = "libmailvane.so";

// Notes are padded to 4 bytes, or to 8 in a segment aligned so (gABI).
constexpr std::size_t kNoteAlignment = 4;
constexpr std::size_t kWideNoteAlignment = 8;

struct NoteSearch {
  ElfW(Addr) base;  // the library's load address: which object to search
  std::string version;
};

// Moves *at past a field of n bytes and its padding; false when the field
// runs past the end.
bool Skip(std::size_t *at, std::size_t n, std::size_t alignment, std::size_t size) {
  if (n > size - *at) return false;
  *at += n;
  *at += std::min((alignment - *at % alignment) % alignment, size - *at);
  return true;
}

// The version note among the notes of one segment, or "". The segment is
// the library's own, yet every size is checked against its bounds.
std::string VersionInNotes(const char *notes, std::size_t size, std::size_t alignment) {
  std::size_t at = 0;
  while (size - at >= sizeof(ElfW(Nhdr))) {
    ElfW(Nhdr) header;
    std::memcpy(&header, notes + at, sizeof header);
    std::size_t name = at + sizeof header;
    std::size_t descriptor = name;
    if (!Skip(&descriptor, header.n_namesz, alignment, size)) break;
    std::size_t next = descriptor;
    if (!Skip(&next, header.n_descsz, alignment, size)) break;
    if (header.n_type == kVersionNoteType && header.n_namesz == sizeof kVersionNoteOwner &&
        std::memcmp(notes + name, kVersionNoteOwner, sizeof kVersionNoteOwner) == 0)
      return std::string(notes + descriptor, strnlen(notes + descriptor, header.n_descsz));
    at = next;
  }
  return std::string();
}

int SearchObject(dl_phdr_info *info, std::size_t, void *data) {
  auto *search = static_cast<NoteSearch *>(data);
  if (info->dlpi_addr != search->base) return 0;
  for (ElfW(Half) i = 0; i < info->dlpi_phnum && search->version.empty(); ++i) {
    const ElfW(Phdr) &segment = info->dlpi_phdr[i];
    if (segment.p_type != PT_NOTE) continue;
    const char *notes = reinterpret_cast<const char *>(info->dlpi_addr + segment.p_vaddr);
    std::size_t alignment =
        segment.p_align == kWideNoteAlignment ? kWideNoteAlignment : kNoteAlignment;
    search->version = VersionInNotes(notes, segment.p_memsz, alignment);
  }
  return 1;  // the library was found: the walk ends
}

}  // namespace

LoadedLibrary::~LoadedLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}

bool LoadedLibrary::Open(const std::string &path, std::string *error) {
  // A name without a slash would send dlopen through the library search
  // path; the user means the file of that name here.
  std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char *reason = dlerror();
    *error = reason != nullptr ? reason : "cannot load " + path;
    return false;
  }
  return true;
}

void *LoadedLibrary::Find(const char *name) const {
  return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
}

std::string LoadedLibrary::Version() const {
  link_map *map = nullptr;
  if (handle_ == nullptr || dlinfo(handle_, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr)
    return std::string();
  NoteSearch search{map->l_addr, std::string()};
  dl_iterate_phdr(SearchObject, &search);
  return search.version;
}

std::string DefaultLibraryPath() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return std::string();
  std::string exe(buffer, static_cast<size_t>(n));
  size_t slash = exe.rfind('/');
  if (slash == std::string::npos) return std::string();
  return exe.substr(0, slash + 1) + kLibraryFileName;
}

}  // namespace xpexec
