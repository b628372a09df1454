// What a process holds that a library it loads and unloads could leave
// behind: its handles (open file descriptors on POSIX) and the TLS slots
// still free (Windows; 0 on POSIX).
#ifndef MAILVANE_TESTS_SUPPORT_PROCESS_COUNTS_H
#define MAILVANE_TESTS_SUPPORT_PROCESS_COUNTS_H

struct CProcessCounts {
  long handles = 0;
  long freeTlsSlots = 0;
  bool operator==(const CProcessCounts &) const = default;
};
CProcessCounts CountProcessHoldings();

#endif
