// The ELF note in which the Linux library carries its version, for a host
// to read from the loaded library's program headers (xpexec --version)
// without one more export. The Windows DLL carries the same version in its
// version resource instead.
//
// One note (ELF gABI layout: name size, descriptor size, type, then the
// name and the descriptor, each padded to 4 bytes): owner kVersionNoteOwner
// with its NUL, type kVersionNoteType, descriptor the version text with its
// NUL ("1.0.0").
#ifndef MAILVANE_PROC_VERSION_NOTE_H
#define MAILVANE_PROC_VERSION_NOTE_H

#include <cstdint>

inline constexpr char kVersionNoteOwner[] = "mailvane";
// The owner's first note type; the owner name keeps it apart from the
// notes of the toolchain and the system.
inline constexpr std::uint32_t kVersionNoteType = 1;

#endif
