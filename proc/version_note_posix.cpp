// The version note of the Linux library (proc/version_note.h). Linked into
// the library itself, not the core library the tests share: the note is
// the library's own, and nothing refers to it.
#include <cstddef>
#include <cstdint>

#include "mailvane_version.h"
#include "proc/version_note.h"

namespace {

// Note names and descriptors are padded to 4 bytes.
constexpr std::size_t kNoteAlignment = 4;

template <std::size_t N>
struct PaddedText {
  char bytes[(N + kNoteAlignment - 1) / kNoteAlignment * kNoteAlignment];
};

template <std::size_t N>
constexpr PaddedText<N> Padded(const char (&text)[N]) {
  PaddedText<N> padded{};
  for (std::size_t i = 0; i < N; ++i) padded.bytes[i] = text[i];
  return padded;
}

struct VersionNote {
  std::uint32_t name_size;
  std::uint32_t descriptor_size;
  std::uint32_t type;
  PaddedText<sizeof kVersionNoteOwner> name;
  PaddedText<sizeof kMailvaneVersion> descriptor;
};

// A section named .note.* is a note section: the linker puts it in a
// PT_NOTE segment, which the loaded library's program headers show.
[[gnu::used, gnu::section(".note.mailvane"), gnu::aligned(kNoteAlignment)]]
const VersionNote kVersionNote = {sizeof kVersionNoteOwner, sizeof kMailvaneVersion,
                                  kVersionNoteType, Padded(kVersionNoteOwner),
                                  Padded(kMailvaneVersion)};

}  // namespace
