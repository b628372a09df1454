// What the bytes of a caller's text are, before they are converted to the
// message's code page.
//
// The 8-bit parameters (char, varchar, text) arrive in the code page of
// the server thread that runs the call; the Unicode parameters (nchar,
// nvarchar, ntext) arrive as UTF-16 and are held as UTF-8 from then on
// (proc/param_value.h). The two are scanned and converted differently:
// UTF-8 has no lead bytes, and converting it as thread-code-page text
// would change every character beyond ASCII.
#ifndef MAILVANE_CHARSET_TEXT_SOURCE_H
#define MAILVANE_CHARSET_TEXT_SOURCE_H

#include <cstdint>

enum class TextSource {
  kThreadCodePage,  // 8-bit text in the thread code page
  kUtf8,            // UTF-8, checked when it arrived
};

// The code page of UTF-8 text: the one the Unicode parameters are written
// and labelled in.
inline constexpr std::uint32_t kUtf8CodePage = 65001;

#endif
