// POSIX: dlopen and dlsym; the executable's path from /proc/self/exe.
#include "host/xpexec/library_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

namespace xpexec {

namespace {
constexpr const char *kLibraryFileName = "libmailvane.so";
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
