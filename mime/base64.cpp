#include "mime/base64.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kGroupsPerLine = kBase64LineLength / 4;

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
  const bool breaks = (flags & kBase64NoBreaks) == 0;
  char *o = out;
  std::size_t groups = n / 3;
  std::size_t in_line = 0;
  for (std::size_t g = 0; g < groups; ++g, in += 3) {
    unsigned v = (unsigned{in[0]} << 16) | (unsigned{in[1]} << 8) | in[2];
    o[0] = kAlphabet[v >> 18];
    o[1] = kAlphabet[(v >> 12) & 63];
    o[2] = kAlphabet[(v >> 6) & 63];
    o[3] = kAlphabet[v & 63];
    o += 4;
    if (breaks && ++in_line == kGroupsPerLine) {
      *o++ = '\r';
      *o++ = '\n';
      in_line = 0;
    }
  }
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
