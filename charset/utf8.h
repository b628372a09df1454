// UTF-8 forms of text: of UTF-16 text, and of 8-bit text in the thread
// code page.
//
// Used where a standard demands UTF-8 whatever the message's charset (file
// names in RFC 2231 parameters). A lone surrogate, which has no UTF-8 form,
// becomes U+FFFD. Text in the thread code page is caller text; a code
// page conversion that refuses it is reported through the result only.
#ifndef MAILVANE_CHARSET_UTF8_H
#define MAILVANE_CHARSET_UTF8_H

#include <cstddef>
#include <string>

// Appends the UTF-8 form of count UTF-16 units to out. Throws
// std::bad_alloc.
void AppendUtf8(std::string &out, const char16_t *text, std::size_t count);

// The UTF-8 form of length bytes of text in the thread code page; false
// when the conversion service refuses the text (out is then empty).
bool Utf8FromThreadCodePage(const char *text, std::size_t length, std::string &out);

#endif
