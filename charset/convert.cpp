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

}  // namespace

bool ConvertText(CMultiLanguageService *service, std::uint32_t code_page, const char *text,
                 std::string &out, TextSource source) {
  out.clear();
  if (service == nullptr || text == nullptr) return false;
  // The text ends at its first zero byte, whatever length a caller knows.
  const std::size_t length = std::strlen(text);
  std::u16string wide;
  if (source == TextSource::kUtf8) {
    if (!Utf16FromUtf8(text, length, wide)) return false;
    if (ResolveCodePage(code_page) == kUtf8CodePage) {
      out.assign(text, length);
      return true;
    }
  } else if (!WidenFromThreadCodePage(text, length, wide)) {
    return false;
  }
  if (!service->ConvertFromUnicode(ResolveCodePage(code_page), wide.data(), wide.size(), out)) {
    out.clear();
    return false;
  }
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
