// Loading the procedure library as SQL Server loads an extended procedure
// DLL: by path, then each entry point by its exported name.
//
// A LoadedLibrary owns its handle and unloads the library when destroyed;
// nothing found in it may be used after that. Open fails with a readable
// reason (the loader's own where it gives one). Paths are UTF-8.
#ifndef MAILVANE_HOST_XPEXEC_LIBRARY_LOADER_H
#define MAILVANE_HOST_XPEXEC_LIBRARY_LOADER_H

#include <string>

namespace xpexec {

class LoadedLibrary {
 public:
  LoadedLibrary() = default;
  ~LoadedLibrary();
  LoadedLibrary(const LoadedLibrary &) = delete;
  LoadedLibrary &operator=(const LoadedLibrary &) = delete;

  // Loads the library at path; false with *error set when it cannot.
  bool Open(const std::string &path, std::string *error);

  // The exported symbol of that exact name, or null.
  void *Find(const char *name) const;

  // The version the loaded library carries ("1.0.0"): its version note on
  // Linux (proc/version_note.h), the file version of its version resource
  // on Windows. "" when it carries none.
  std::string Version() const;

 private:
  void *handle_ = nullptr;
};

// The procedure library built beside the running executable:
// libmailvane.so, or mailvane.dll on Windows. "" when the executable's own
// path cannot be learnt.
std::string DefaultLibraryPath();

}  // namespace xpexec

#endif
