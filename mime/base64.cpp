#include "mime/base64.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kGroupsPerLine = kBase64LineLength / 4;
constexpr std::size_t kLineInput = kGroupsPerLine * 3;  // 57 bytes make one line

// Two characters for every 12-bit value, as the 16-bit unit whose bytes in
// memory are those characters in order: one lookup per half group.
struct PairTable {
  std::uint16_t pair[4096];
};

constexpr PairTable MakePairTable() {
  PairTable t{};
  for (unsigned v = 0; v < 4096; ++v) {
    auto first = static_cast<std::uint16_t>(static_cast<unsigned char>(kAlphabet[v >> 6]));
    auto second = static_cast<std::uint16_t>(static_cast<unsigned char>(kAlphabet[v & 63]));
    t.pair[v] = std::endian::native == std::endian::little
                    ? static_cast<std::uint16_t>(first | (second << 8))
                    : static_cast<std::uint16_t>((first << 8) | second);
  }
  return t;
}

constexpr PairTable kPairs = MakePairTable();

// Four pairs as the 64-bit unit whose bytes in memory are pairs a, b, c, d.
inline std::uint64_t Join(std::uint64_t a, std::uint64_t b, std::uint64_t c, std::uint64_t d) {
  if constexpr (std::endian::native == std::endian::little)
    return a | (b << 16) | (c << 32) | (d << 48);
  else
    return (a << 48) | (b << 32) | (c << 16) | d;
}

// Eight input bytes, first byte most significant. Compilers turn this into
// one load (and a byte swap where needed).
inline std::uint64_t LoadBigEndian64(const unsigned char *p) {
  return (std::uint64_t{p[0]} << 56) | (std::uint64_t{p[1]} << 48) | (std::uint64_t{p[2]} << 40) |
         (std::uint64_t{p[3]} << 32) | (std::uint64_t{p[4]} << 24) | (std::uint64_t{p[5]} << 16) |
         (std::uint64_t{p[6]} << 8) | std::uint64_t{p[7]};
}

// Encodes two groups (6 bytes) from the top 48 bits of v into 8 characters.
inline void EncodeTwoGroups(std::uint64_t v, char *out) {
  std::uint64_t w = Join(kPairs.pair[(v >> 52) & 0xFFF], kPairs.pair[(v >> 40) & 0xFFF],
                         kPairs.pair[(v >> 28) & 0xFFF], kPairs.pair[(v >> 16) & 0xFFF]);
  std::memcpy(out, &w, sizeof w);
}

// Encodes one group of 3 bytes into 4 characters.
inline void EncodeGroup(const unsigned char *in, char *out) {
  unsigned v = (unsigned{in[0]} << 16) | (unsigned{in[1]} << 8) | in[2];
  std::uint16_t a = kPairs.pair[v >> 12];
  std::uint16_t b = kPairs.pair[v & 0xFFF];
  std::memcpy(out, &a, 2);
  std::memcpy(out + 2, &b, 2);
}

// Encodes groups complete groups from in to out, with no line breaks. Uses
// 8-byte loads while 8 bytes remain in the input, so it never reads past
// the groups' bytes.
inline void EncodeGroups(const unsigned char *in, std::size_t groups, char *out) {
  while (groups >= 3) {  // 2 groups take 6 bytes; the load reads 8 of the 9
    EncodeTwoGroups(LoadBigEndian64(in), out);
    in += 6;
    out += 8;
    groups -= 2;
  }
  for (; groups > 0; --groups, in += 3, out += 4) EncodeGroup(in, out);
}

// One full line: 19 groups as 9 pairs of groups and one more, then CR LF.
// The last 8-byte load ends at byte 56 of the 57, inside the line.
inline void EncodeLine(const unsigned char *in, char *out) {
  for (int i = 0; i < 9; ++i) EncodeTwoGroups(LoadBigEndian64(in + 6 * i), out + 8 * i);
  EncodeGroup(in + 54, out + 72);
  out[76] = '\r';
  out[77] = '\n';
}

}  // namespace

std::size_t Base64Capacity(std::size_t n, int flags) {
  std::size_t b = 4 * n / 3;
  if ((flags & kBase64NoFill) == 0) b += n % 3;
  std::size_t f = (b + 3) / 4 * 4;
  if ((flags & kBase64NoBreaks) != 0) return f;
  return f + 2 * (b / kBase64LineLength) + 2;
}

int EncodeBase64(const void *data, std::size_t n, char *out, std::size_t *capacity_and_result,
                 int flags) {
  if (data == nullptr || out == nullptr || capacity_and_result == nullptr) return 0;
  if (*capacity_and_result < Base64Capacity(n, flags)) return 0;
  const unsigned char *in = static_cast<const unsigned char *>(data);
  char *o = out;
  std::size_t groups = n / 3;
  if ((flags & kBase64NoBreaks) == 0) {
    for (std::size_t lines = groups / kGroupsPerLine; lines > 0; --lines) {
      EncodeLine(in, o);
      in += kLineInput;
      o += kBase64LineLength + 2;
    }
    groups %= kGroupsPerLine;
  }
  EncodeGroups(in, groups, o);
  in += 3 * groups;
  o += 4 * groups;
  std::size_t rest = n % 3;
  if (rest != 0) {
    unsigned v = unsigned{in[0]} << 16;
    if (rest == 2) v |= unsigned{in[1]} << 8;
    *o++ = kAlphabet[v >> 18];
    *o++ = kAlphabet[(v >> 12) & 63];
    if (rest == 2) *o++ = kAlphabet[(v >> 6) & 63];
    if ((flags & kBase64NoFill) == 0) {
      *o++ = '=';
      if (rest == 1) *o++ = '=';
    }
  }
  *capacity_and_result = static_cast<std::size_t>(o - out);
  return 1;
}
