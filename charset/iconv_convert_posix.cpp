#include "charset/iconv_convert.h"

#include <iconv.h>
#include <string.h>  // explicit_bzero: stores the compiler may not drop

#include <cerrno>

namespace {

// iconv_t owned for the length of one conversion.
class IconvHandle {
 public:
  IconvHandle(const char *to, const char *from) : h_(iconv_open(to, from)) {}
  ~IconvHandle() {
    if (valid()) iconv_close(h_);
  }
  IconvHandle(const IconvHandle &) = delete;
  IconvHandle &operator=(const IconvHandle &) = delete;
  bool valid() const { return h_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return h_; }

 private:
  iconv_t h_;
};

// Bytes taken from the output area per iconv round.
constexpr std::size_t kChunk = 4096;
// Input bytes given to one iconv call. After a character the target
// cannot hold, glibc converts the input it was given once more to find
// where it stopped; with the whole text at once, a long text full of such
// characters costs time in the square of its length (seconds for 1 MiB).
// A multiple of every unit and longer than any one character.
constexpr std::size_t kSlice = 256;

// The replacement character '?' as the target encoding writes it (two bytes
// in UTF-16), from the target's initial shift state.
std::string Replacement(const char *to) {
  std::string out;
  IconvHandle cd(to, "ASCII");
  char question = '?';
  char buffer[16];
  char *in = &question;
  std::size_t in_left = 1;
  char *dst = buffer;
  std::size_t dst_left = sizeof buffer;
  if (cd.valid() && iconv(cd.get(), &in, &in_left, &dst, &dst_left) != static_cast<std::size_t>(-1))
    iconv(cd.get(), nullptr, nullptr, &dst, &dst_left);
  out.assign(buffer, static_cast<std::size_t>(dst - buffer));
  if (out.empty()) out = "?";
  return out;
}

// Overwrites the whole capacity of s, then empties it.
void Wipe(std::string &s) {
  s.resize(s.capacity());
  explicit_bzero(s.data(), s.size());
  s.clear();
}

// Appends length bytes to out. When out has no room, its text moves to a
// buffer twice as large and the one it leaves is wiped before it is freed.
void Append(std::string &out, const char *bytes, std::size_t length) {
  if (length > out.capacity() - out.size()) {
    std::string grown;
    std::size_t needed = out.size() + length;
    grown.reserve(needed > 2 * out.capacity() ? needed : 2 * out.capacity());
    grown.assign(out);
    out.swap(grown);
    Wipe(grown);
  }
  out.append(bytes, length);
}

// Writes the sequence that returns a stateful target (ISO-2022-JP) to its
// initial state, and resets the descriptor.
void ResetShiftState(iconv_t cd, std::string &out) {
  char buffer[kChunk];
  char *dst = buffer;
  std::size_t dst_left = sizeof buffer;
  iconv(cd, nullptr, nullptr, &dst, &dst_left);
  Append(out, buffer, static_cast<std::size_t>(dst - buffer));
}

}  // namespace

bool IconvConvert(const char *from, const char *to, const char *data, std::size_t length,
                  std::size_t unit, std::string &out) {
  out.clear();
  IconvHandle cd(to, from);
  if (!cd.valid()) return false;
  std::string replacement;
  char *in = const_cast<char *>(data);
  std::size_t in_left = length;
  char buffer[kChunk];
  while (in_left > 0) {
    char *dst = buffer;
    std::size_t dst_left = sizeof buffer;
    const std::size_t slice = in_left < kSlice ? in_left : kSlice;
    std::size_t slice_left = slice;
    std::size_t r = iconv(cd.get(), &in, &slice_left, &dst, &dst_left);
    const std::size_t consumed = slice - slice_left;
    in_left -= consumed;
    Append(out, buffer, static_cast<std::size_t>(dst - buffer));
    if (r != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // A character cut by the end of the slice starts the next one.
    if (errno == EINVAL && consumed > 0 && slice_left < in_left) continue;
    // EILSEQ or EINVAL: the sequence at in cannot be converted. Replace
    // one source unit (a surrogate pair counts as one character).
    std::size_t skip = unit;
    if (unit == 2 && in_left >= 4) {
      // UTF-16LE: a high surrogate followed by a low one is one character.
      unsigned hi = static_cast<unsigned char>(in[1]);
      unsigned lo = static_cast<unsigned char>(in[3]);
      if ((hi & 0xFC) == 0xD8 && (lo & 0xFC) == 0xDC) skip = 4;
    }
    if (skip > in_left) skip = in_left;
    in += skip;
    in_left -= skip;
    // The replacement is written in the target's initial state.
    ResetShiftState(cd.get(), out);
    if (replacement.empty()) replacement = Replacement(to);
    Append(out, replacement.data(), replacement.size());
  }
  // Return stateful targets to their initial state at the end.
  ResetShiftState(cd.get(), out);
  explicit_bzero(buffer, sizeof buffer);
  return true;
}
