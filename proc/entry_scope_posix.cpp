// Elsewhere than on Windows the C++ runtime's own exception state serves:
// its thread-local globals and heap are the system's, freed with the
// thread and the library.
#include "proc/entry_scope.h"

CEntryScope::CEntryScope() : m_ready(true) {}
CEntryScope::~CEntryScope() = default;
