#include "mime/encoded_word.h"

#include <cstring>
#include <new>

#include "mime/base64.h"
#include "mime/charset_characters.h"
#include "mime/mail_header.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
// "=?" charset "?Q?" ... "?=": the delimiters around the encoded text.
constexpr std::size_t kWordDelimiters = 7;
// Room for a charset name of up to 50 bytes and the delimiters.
constexpr std::size_t kBWordOverhead = 57;
constexpr std::size_t kQFoldsPer = 68;
constexpr std::size_t kQSlack = 20;

// Q copies the printable ASCII bytes except "=", "?" and "_" (RFC 2047
// 4.2); space is always escaped, never written as "_". A word that stands
// in a phrase (a display name) copies only letters, digits and
// "! * + - /" (RFC 2047 5(3)): a raw "," or "<" there would be read as
// the syntax of the address list.
bool QCopies(unsigned char byte, WordPlace place) {
  if (place == WordPlace::kPhrase) {
    return (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') ||
           (byte >= 'a' && byte <= 'z') || (byte != 0 && std::strchr("!*+-/", byte) != nullptr);
  }
  return byte >= 0x21 && byte <= 0x7E && byte != '=' && byte != '?' && byte != '_';
}

std::size_t QTextLength(const char *data, std::size_t length, WordPlace place) {
  std::size_t total = 0;
  for (std::size_t i = 0; i < length; ++i)
    total += QCopies(static_cast<unsigned char>(data[i]), place) ? 1 : 3;
  return total;
}

std::size_t BTextLength(std::size_t length) { return (length + 2) / 3 * 4; }

std::size_t WordLength(std::size_t charset_length, std::size_t text_length) {
  return kWordDelimiters + charset_length + text_length;
}

void AppendWord(std::string &out, const char *charset, bool q, const char *data,
                std::size_t length, WordPlace place) {
  if (q) AppendQWord(out, charset, data, length, place);
  else AppendBWord(out, charset, data, length);
}

// Several words of at most kLongestEncodedWord characters, each made of
// whole pieces of the charset; a piece too long for any word gets a word of
// its own.
void AppendSplitWords(std::string &out, const std::string &text, const char *charset, bool q,
                      WordPlace place) {
  const CCharsetCharacters characters(charset);
  const std::size_t charset_length = std::strlen(charset);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = characters.PieceEnd(text, start);
    std::size_t q_length = QTextLength(text.data() + start, end - start, place);
    for (;;) {
      std::size_t next = characters.PieceEnd(text, end);
      if (next == end) break;
      std::size_t next_q = q_length + QTextLength(text.data() + end, next - end, place);
      std::size_t length = q ? next_q : BTextLength(next - start);
      if (WordLength(charset_length, length) > kLongestEncodedWord) break;
      end = next;
      q_length = next_q;
    }
    if (start != 0) out += kWordFold;
    AppendWord(out, charset, q, text.data() + start, end - start, place);
    start = end;
  }
}

}  // namespace

std::size_t EncodedWordEnd(const std::string &text, std::size_t pos) {
  if (text.compare(pos, 2, "=?") != 0) return pos;
  std::size_t charset_end = text.find('?', pos + 2);
  if (charset_end == std::string::npos) return pos;
  std::size_t encoding_end = text.find('?', charset_end + 1);
  if (encoding_end == std::string::npos) return pos;
  std::size_t close = text.find("?=", encoding_end + 1);
  if (close == std::string::npos) return pos;
  return close + 2;
}

bool IsUnsafeHeaderByte(unsigned char byte) {
  if (byte == '\t') return false;
  return byte < 0x20 || byte >= 0x7F;
}

bool HasLineBreak(const std::string &text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

std::size_t QWordCapacity(std::size_t n) { return 3 * (n + 3 * n / kQFoldsPer + kQSlack); }

std::size_t BWordCapacity(std::size_t n) { return Base64Capacity(n, 0) + kBWordOverhead; }

void AppendQWord(std::string &out, const char *charset, const char *data, std::size_t length,
                 WordPlace place) {
  out += "=?";
  out += charset;
  out += "?Q?";
  for (std::size_t i = 0; i < length; ++i) {
    unsigned char byte = static_cast<unsigned char>(data[i]);
    if (QCopies(byte, place)) {
      out += static_cast<char>(byte);
    } else {
      out += '=';
      out += kHexDigits[byte >> 4];
      out += kHexDigits[byte & 0x0F];
    }
  }
  out += "?=";
}

void AppendBWord(std::string &out, const char *charset, const char *data, std::size_t length) {
  out += "=?";
  out += charset;
  out += "?B?";
  std::size_t capacity = Base64Capacity(length, kBase64NoBreaks);
  std::size_t at = out.size();
  out.resize(at + capacity);
  // The encoder wants a pointer even for no bytes.
  const char none = '\0';
  EncodeBase64(length != 0 ? data : &none, length, &out[at], &capacity, kBase64NoBreaks);
  out.resize(at + capacity);
  out += "?=";
}

std::size_t CountUnsafeBytes(const std::string &text) {
  std::size_t unsafe = 0;
  for (char c : text)
    if (IsUnsafeHeaderByte(static_cast<unsigned char>(c))) ++unsafe;
  return unsafe;
}

bool UsesQEncoding(const std::string &text) {
  return text.empty() || CountUnsafeBytes(text) * 100 / text.size() < kBase64FromPercent;
}

bool BuildHeaderText(const std::string &text, const char *charset, bool can_encode,
                     std::string &out, bool &encoded, WordPlace place) {
  out.clear();
  encoded = false;
  if (CountUnsafeBytes(text) == 0 || !can_encode) {
    if (HasLineBreak(text)) return false;
    out = text;
    return true;
  }
  const bool q = UsesQEncoding(text);
  const std::size_t charset_length = std::strlen(charset);
  std::size_t single = WordLength(
      charset_length, q ? QTextLength(text.data(), text.size(), place) : BTextLength(text.size()));
  if (single <= kLongestEncodedWord) AppendWord(out, charset, q, text.data(), text.size(), place);
  else AppendSplitWords(out, text, charset, q, place);
  encoded = true;
  return true;
}

int CMailHeader::EncodeHeaderText(const std::string &text, const char *charset, char *out,
                                  std::size_t capacity, std::size_t *out_length, int *encoded,
                                  WordPlace place) const {
  if (out == nullptr || out_length == nullptr || encoded == nullptr) return 0;
  *encoded = 0;
  if (charset == nullptr) charset = "";
  try {
    std::string result;
    bool words = false;
    if (!BuildHeaderText(text, charset, m_multiLanguage != nullptr, result, words, place))
      return 0;
    if (words) {
      // The encoders' own demands, then room for what was really produced
      // and its NUL (several words need more than one).
      std::size_t demand = UsesQEncoding(text) ? QWordCapacity(text.size()) : BWordCapacity(text.size());
      if (capacity < demand || capacity < result.size() + 1) return 0;
    } else if (result.size() > capacity) {
      return 0;
    }
    std::memcpy(out, result.data(), result.size());
    if (result.size() < capacity) out[result.size()] = '\0';
    *out_length = result.size();
    *encoded = words ? 1 : 0;
    return 1;
  } catch (const std::bad_alloc &) {
    return 0;
  }
}
