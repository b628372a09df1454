// UTF-8 forms of text: of UTF-16 text, of 8-bit text in the thread code
// page, and back.
//
// Used where a standard demands UTF-8 whatever the message's charset (file
// names in RFC 2231 parameters), and for the Unicode parameters of a call,
// which are held as UTF-8 (text_source.h). AppendUtf8 writes a lone
// surrogate, which has no UTF-8 form, as U+FFFD; AppendUtf8Strictly and
// the readers of UTF-8 refuse what is not well formed instead, so that
// caller text is never changed without a word. Text in the thread code
// page is caller text; a code page conversion that refuses it is reported
// through the result only.
#ifndef MAILVANE_CHARSET_UTF8_H
#define MAILVANE_CHARSET_UTF8_H

#include <cstddef>
#include <string>

// Appends the UTF-8 form of count UTF-16 units to out. Throws
// std::bad_alloc.
void AppendUtf8(std::string &out, const char16_t *text, std::size_t count);

// The same, but false at a lone surrogate (out then holds the form of the
// units before it). Appends at most 3 bytes per unit, so a caller that
// reserved that much keeps the text in one buffer. Throws std::bad_alloc.
bool AppendUtf8Strictly(std::string &out, const char16_t *text, std::size_t count);

// The UTF-16 form of length bytes of UTF-8; false (out empty) for bytes
// that are not well-formed UTF-8 (RFC 3629 section 4: no overlong form,
// no surrogate, nothing beyond U+10FFFF, no cut sequence).
bool Utf16FromUtf8(const char *text, std::size_t length, std::u16string &out);

// True when length bytes are well-formed UTF-8 (the rules above); no copy
// is made. Utf8WellFormedPrefix gives the number of bytes before the first
// that does not begin a well-formed sequence (length when there is none).
bool IsWellFormedUtf8(const char *text, std::size_t length);
std::size_t Utf8WellFormedPrefix(const char *text, std::size_t length);

// The UTF-8 form of length bytes of text in the thread code page; false
// when the conversion service refuses the text (out is then empty).
bool Utf8FromThreadCodePage(const char *text, std::size_t length, std::string &out);

// UTF-8 text in the thread code page, exactly: false (out empty) when the
// text is not well-formed UTF-8 or holds a character the code page cannot
// hold, which a conversion would replace or approximate.
bool ThreadCodePageFromUtf8(const std::string &text, std::string &out);

#endif
