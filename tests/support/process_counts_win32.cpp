#include "tests/support/process_counts.h"

#include <windows.h>

#include <vector>

// Wine counts no handles for GetProcessHandleCount; there the handle values
// in use, which it gives out from 4 upwards in steps of 4, are counted.
constexpr ULONG_PTR kProbedHandles = 1 << 16;

CProcessCounts CountProcessHoldings() {
  CProcessCounts counts;
  DWORD handles = 0, flags = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &handles)) counts.handles = static_cast<long>(handles);
  if (counts.handles == 0)
    for (ULONG_PTR value = 4; value < kProbedHandles; value += 4)
      if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++counts.handles;
  // Every slot still free, taken and given back.
  std::vector<DWORD> slots;
  for (DWORD slot; (slot = TlsAlloc()) != TLS_OUT_OF_INDEXES;) slots.push_back(slot);
  for (DWORD slot : slots) TlsFree(slot);
  counts.freeTlsSlots = static_cast<long>(slots.size());
  return counts;
}
