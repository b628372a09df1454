#include "proc/full_path.h"

#include <errno.h>
#include <stdlib.h>

bool FullPath(const std::string &name, TextSource, std::string &full, int &error) {
  char *resolved = realpath(name.c_str(), nullptr);
  if (resolved == nullptr) {
    error = errno;
    return false;
  }
  full = resolved;
  free(resolved);
  error = 0;
  return true;
}

bool PathWithin(const std::string &full, const std::string &folder) {
  if (full.compare(0, folder.size(), folder) != 0) return false;
  // "/srv/out" holds "/srv/out/a", not "/srv/outside"; "/" holds all.
  return full.size() == folder.size() || full[folder.size()] == '/' ||
         (!folder.empty() && folder.back() == '/');
}

// Linux reaches no share through a path.
bool IsNetworkPath(const std::string &) { return false; }
bool FullPathOnShare(const std::string &) { return false; }

bool IsFullPathName(const std::string &name) { return !name.empty() && name[0] == '/'; }
