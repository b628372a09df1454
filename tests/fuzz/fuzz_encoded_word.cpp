// Fuzzes the encoded-word writer with a multi-language service present and
// the charsets "utf-8" and "iso-8859-1": a text comes back unchanged
// (holding no unsafe byte) or as encoded words joined by folds (CR LF TAB),
// each a well-formed Q or B word of the charset, at most 75 characters when
// there are several, and together decoding to the text. No CR or LF
// appears but in the folds.
#include <cstring>
#include <string>
#include <vector>

#include "mime/encoded_word.h"
#include "mime/mail_header.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/support/fake_multi_language.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool DecodeQ(const std::string &text, std::string &out) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '_') {
      out.push_back(' ');
    } else if (c == '=') {
      if (i + 2 >= text.size()) return false;
      int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
      if (high < 0 || low < 0) return false;
      out.push_back(static_cast<char>(high * 16 + low));
      i += 2;
    } else if (c > ' ' && c < 0x7f && c != '?') {
      out.push_back(c);
    } else {
      return false;  // RFC 2047 5(3): only printable ASCII but "?", "=", "_"
    }
  }
  return true;
}

bool DecodeB(const std::string &text, std::string &out) {
  if (text.size() % 4 != 0) return false;
  unsigned bits = 0;
  int count = 0;
  std::size_t fill = 0;
  for (char c : text) {
    if (c == '=') {
      ++fill;
      continue;
    }
    const char *p = c == '\0' ? nullptr : std::strchr(kAlphabet, c);
    if (p == nullptr || fill != 0) return false;
    bits = (bits << 6) | static_cast<unsigned>(p - kAlphabet);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out.push_back(static_cast<char>((bits >> count) & 0xff));
    }
  }
  return fill <= 2;
}

// One "=?charset?Q?text?=" or "=?charset?B?text?=" word, decoded.
bool DecodeWord(const std::string &word, const std::string &charset, std::string &out) {
  const std::string open = "=?" + charset + "?";
  if (word.size() < open.size() + 4 || word.compare(0, open.size(), open) != 0) return false;
  if (word.compare(word.size() - 2, 2, "?=") != 0) return false;
  const char encoding = word[open.size()];
  if (word[open.size() + 1] != '?') return false;
  const std::string text = word.substr(open.size() + 2, word.size() - open.size() - 4);
  if (encoding == 'Q' || encoding == 'q') return DecodeQ(text, out);
  if (encoding == 'B' || encoding == 'b') return DecodeB(text, out);
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  CFuzzInput input(data, size);
  const char *charset = (input.Byte() & 1) != 0 ? "iso-8859-1" : "utf-8";
  const std::string text = input.Rest();

  CFakeMultiLanguage service;
  CMailHeader header;
  ReplaceMultiLanguage(header, &service);
  std::vector<char> out(QWordCapacity(text.size()) + BWordCapacity(text.size()) + 4096);
  std::size_t length = 0;
  int encoded = -1;
  const int result =
      header.EncodeHeaderText(text, charset, out.data(), out.size(), &length, &encoded);
  ReplaceMultiLanguage(header, nullptr);
  FUZZ_CHECK(result == 1);  // with a service every text can be written
  FUZZ_CHECK(length <= out.size());
  const std::string written(out.data(), length);

  if (encoded == 0) {
    FUZZ_CHECK(written == text);
    FUZZ_CHECK(CountUnsafeBytes(text) == 0);
    return 0;
  }
  FUZZ_CHECK(encoded == 1);
  std::vector<std::string> words;
  for (std::size_t start = 0;;) {
    const std::size_t fold = written.find(kWordFold, start);
    words.push_back(written.substr(start, fold - start));
    if (fold == std::string::npos) break;
    start = fold + std::strlen(kWordFold);
  }
  std::string decoded;
  for (const std::string &word : words) {
    FUZZ_CHECK(word.find_first_of("\r\n") == std::string::npos);
    FUZZ_CHECK(word.size() <= kLongestEncodedWord);
    FUZZ_CHECK(DecodeWord(word, charset, decoded));
  }
  FUZZ_CHECK(decoded == text);
  return 0;
}
