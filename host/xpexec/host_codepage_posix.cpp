// POSIX: the codeset of the process locale, through iconv.
#include "host/xpexec/host_codepage.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <clocale>
#include <cstring>

#include "host/xpexec/utf16le.h"

namespace xpexec {
namespace {

// glibc's name for plain ASCII, what the C and POSIX locales give.
constexpr const char *kAsciiCodeset = "ANSI_X3.4-1968";
constexpr const char *kUtf8Locale = "C.UTF-8";
constexpr char kReplacement = '?';

bool IsUtf8Codeset(const char *codeset) {
  return strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "UTF8") == 0;
}

class Converter {
 public:
  explicit Converter(const char *codeset) : cd_(iconv_open(codeset, "UTF-8")) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter &) = delete;
  Converter &operator=(const Converter &) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  std::string Convert(std::string_view in) {
    std::string out;
    char buffer[256];
    size_t i = 0;
    while (i < in.size()) {
      char *src = const_cast<char *>(in.data() + i);
      size_t src_left = in.size() - i;
      char *dst = buffer;
      size_t dst_left = sizeof buffer;
      size_t r = iconv(cd_, &src, &src_left, &dst, &dst_left);
      int error = errno;
      out.append(buffer, static_cast<size_t>(dst - buffer));
      i = in.size() - src_left;
      if (r != static_cast<size_t>(-1) || error == E2BIG) continue;
      // EILSEQ (not representable, or invalid input) and EINVAL (cut off
      // at the end): one '?' for the character, then go on after it.
      out.push_back(kReplacement);
      size_t length = ValidUtf8SequenceLength(in.substr(i));
      i += length > 0 ? length : 1;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    char *dst = buffer;
    size_t dst_left = sizeof buffer;
    iconv(cd_, nullptr, nullptr, &dst, &dst_left);  // a stateful codeset's closing shift
    out.append(buffer, static_cast<size_t>(dst - buffer));
    return out;
  }

 private:
  iconv_t cd_;
};

}  // namespace

void UseHostLocale() {
  if (std::setlocale(LC_ALL, "") == nullptr) std::setlocale(LC_ALL, "C");
  if (std::strcmp(nl_langinfo(CODESET), kAsciiCodeset) == 0)
    std::setlocale(LC_ALL, kUtf8Locale);  // stays as it was if C.UTF-8 is missing
}

std::string Utf8ToHostCodepage(std::string_view utf8) {
  const char *codeset = nl_langinfo(CODESET);
  if (IsUtf8Codeset(codeset)) return std::string(utf8);
  Converter converter(codeset);
  if (!converter.ok()) return std::string(utf8);  // a codeset iconv does not know
  return converter.Convert(utf8);
}

}  // namespace xpexec
