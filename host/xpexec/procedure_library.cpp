#include "host/xpexec/procedure_library.h"

#include <cstdio>

namespace xpexec {
namespace {

constexpr const char *kVersionEntry = "__GetXpVersion";
using VersionEntry = uint32_t (*)(void);

std::string Hex32(uint32_t value) {
  char text[sizeof "0x00000000"];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

}  // namespace

bool ProcedureLibrary::Open(const std::string &path, std::string *error) {
  path_ = path;
  std::string reason;
  if (!library_.Open(path, &reason)) {
    *error = "cannot load " + path + ": " + reason;
    return false;
  }
  auto version = reinterpret_cast<VersionEntry>(library_.Find(kVersionEntry));
  if (version == nullptr) {
    *error = path + " does not export " + kVersionEntry;
    return false;
  }
  uint32_t answer = version();
  if (answer != kExpectedXpVersion) {
    *error = path + ": " + kVersionEntry + " returns " + Hex32(answer) + ", expected " +
             Hex32(kExpectedXpVersion);
    return false;
  }
  return true;
}

ProcedureEntry ProcedureLibrary::Find(const std::string &procedure, std::string *error) const {
  // A name with a NUL byte in it ([a\0b]) would find a shorter name.
  bool plain = procedure.find('\0') == std::string::npos;
  auto entry = plain ? reinterpret_cast<ProcedureEntry>(library_.Find(procedure.c_str())) : nullptr;
  if (entry == nullptr) *error = path_ + " does not export the procedure '" + procedure + "'";
  return entry;
}

}  // namespace xpexec
