// Conversion of caller text to the message's code page, and the MIME
// charset name of a code page, through the multi-language service.
#include "charset/convert.h"

#include <cstring>

#include "charset/thread_codepage.h"
#include "charset/utf8.h"

namespace {

// ISO 8859-1: the charset assumed when no service can name one.
constexpr std::uint32_t kLatin1CodePage = 28591;
constexpr char kLatin1Name[] = "iso-8859-1";
constexpr char kUtf8Name[] = "utf-8";

// The code page that 0 stands for, looked up at the moment of use.
std::uint32_t ResolveCodePage(std::uint32_t code_page) {
  return code_page != 0 ? code_page : AnsiCodePage();
}

// Copies name with its terminating zero into out when it is shorter than
// limit bytes; out is left untouched otherwise.
bool CopyName(char *out, const char *name, std::size_t length, int limit) {
  if (limit <= 0 || length >= static_cast<std::size_t>(limit)) return false;
  std::memcpy(out, name, length);
  out[length] = '\0';
  return true;
}

// A long text is converted piece by piece, so that its UTF-16 form is
// never held whole beside the text and its conversion (a body of tens of
// megabytes would be held three times over). Pieces end where a character
// ends in every code page the text may be in: UTF-8 before any byte that
// starts a sequence; 8-bit text after a space or a line end, bytes that in
// no ASCII-based code page are the second byte of a character. The code
// pages of text and target keep no state across characters (no ANSI code
// page does), so the pieces convert to the bytes of the whole.
constexpr std::size_t kConversionPiece = 64 * 1024;

bool EndsPiece(const char *text, std::size_t i, TextSource source) {
  const unsigned char byte = static_cast<unsigned char>(text[i]);
  if (source == TextSource::kUtf8) return (static_cast<unsigned char>(text[i + 1]) & 0xC0) != 0x80;
  return byte == ' ' || byte == '\n' || byte == '\r';
}

// The end of the piece that starts at start: at least kConversionPiece
// bytes on, at the first place a piece may end; the text's end at the
// latest.
std::size_t PieceEnd(const char *text, std::size_t length, std::size_t start, TextSource source) {
  if (length - start <= kConversionPiece) return length;
  for (std::size_t i = start + kConversionPiece - 1; i + 1 < length; ++i)
    if (EndsPiece(text, i, source)) return i + 1;
  return length;
}

}  // namespace

bool ConvertText(CMultiLanguageService *service, std::uint32_t code_page, const char *text,
                 std::string &out, TextSource source) {
  out.clear();
  if (service == nullptr || text == nullptr) return false;
  // The text ends at its first zero byte, whatever length a caller knows.
  const std::size_t length = std::strlen(text);
  const std::uint32_t target = ResolveCodePage(code_page);
  if (source == TextSource::kUtf8) {
    if (!IsWellFormedUtf8(text, length)) return false;
    if (target == kUtf8CodePage) {
      out.assign(text, length);
      return true;
    }
  }
  // A text the size of most is converted as it would be whole; a larger
  // one as a few pieces (kConversionPiece).
  out.reserve(length);
  std::u16string wide;
  std::string converted;
  std::size_t start = 0;
  do {
    const std::size_t end = PieceEnd(text, length, start, source);
    const bool widened = source == TextSource::kUtf8
                             ? Utf16FromUtf8(text + start, end - start, wide)
                             : WidenFromThreadCodePage(text + start, end - start, wide);
    if (!widened || !service->ConvertFromUnicode(target, wide.data(), wide.size(), converted)) {
      out.clear();
      return false;
    }
    out += converted;
    start = end;
  } while (start < length);
  return true;
}

bool GetCharsetName(char *out, std::uint32_t code_page, CMultiLanguageService *service,
                    int limit) {
  if (out == nullptr) return false;
  if (service == nullptr) {
    if (code_page == kUtf8CodePage) return CopyName(out, kUtf8Name, sizeof kUtf8Name - 1, limit);
    if (code_page != 0 && code_page != kLatin1CodePage) return false;
    return CopyName(out, kLatin1Name, sizeof kLatin1Name - 1, limit);
  }
  std::u16string wide;
  if (!service->GetWebCharset(ResolveCodePage(code_page), wide)) return false;
  std::string name;
  if (!NarrowToThreadCodePage(wide.data(), wide.size(), name)) return false;
  // A zero inside the name would end it early; such a name is no name.
  if (name.empty() || name.find('\0') != std::string::npos) return false;
  return CopyName(out, name.data(), name.size(), limit);
}
