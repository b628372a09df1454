#include "tests/support/process_counts.h"

#include <dirent.h>

CProcessCounts CountProcessHoldings() {
  CProcessCounts counts;
  if (DIR *fds = opendir("/proc/self/fd")) {
    while (const dirent *entry = readdir(fds))
      if (entry->d_name[0] != '.') ++counts.handles;
    closedir(fds);
    --counts.handles;  // the directory being read
  }
  return counts;
}
