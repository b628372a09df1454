// The procedure library as SQL Server sees it: a library that answers
// __GetXpVersion with the interface version it was built for, and exports
// each procedure under its own name.
//
// Open loads the library and checks the version; Find looks a procedure up
// by the name a statement gives. Both fail with a reason for the user and
// call no procedure. The entries found stay valid while the
// ProcedureLibrary lives.
#ifndef MAILVANE_HOST_XPEXEC_PROCEDURE_LIBRARY_H
#define MAILVANE_HOST_XPEXEC_PROCEDURE_LIBRARY_H

#include <cstdint>
#include <string>

#include "host/xpexec/library_loader.h"

struct CXPData;

namespace xpexec {

// An extended procedure: int proc(SRV_PROC *), C linkage, the platform's
// default (cdecl) calling convention.
using ProcedureEntry = int (*)(CXPData *);

// ODS interface version 7.0, major version in the top byte: what
// __GetXpVersion answers and what SQL Server expects.
constexpr uint32_t kExpectedXpVersion = 0x07000000;

class ProcedureLibrary {
 public:
  bool Open(const std::string &path, std::string *error);
  ProcedureEntry Find(const std::string &procedure, std::string *error) const;
  // The version the library carries, or "" (LoadedLibrary::Version).
  std::string Version() const { return library_.Version(); }

 private:
  std::string path_;
  LoadedLibrary library_;
};

}  // namespace xpexec

#endif
