// The code page of the calling thread, and text conversion between it and
// UTF-16.
//
// 8-bit text reaches the procedure in the code page of the server thread
// that runs the call. On Windows that is the thread's ANSI code page; on
// POSIX systems it is the codeset of the thread's locale, given as its
// Windows code page number (UTF-8 is 65001, ISO-8859-1 28591, ASCII 20127).
// Characters the target cannot hold are replaced, never fatal.
#ifndef MAILVANE_CHARSET_THREAD_CODEPAGE_H
#define MAILVANE_CHARSET_THREAD_CODEPAGE_H

#include <cstddef>
#include <cstdint>
#include <string>

// The thread's code page number, the one the conversions below use; 0 when
// it cannot be named.
std::uint32_t ThreadCodePage();

// The code page that code page 0 stands for: GetACP on Windows, the thread
// code page elsewhere.
std::uint32_t AnsiCodePage();

// Converts length bytes of text in the thread code page to UTF-16.
// Returns false when the conversion service refuses the text.
bool WidenFromThreadCodePage(const char *text, std::size_t length, std::u16string &out);

// Converts count UTF-16 units to the thread code page; characters that it
// cannot hold become '?'. Returns false when no conversion is available.
// The text may be a password: apart from out, which the caller wipes, no
// copy of it is left in memory the conversion frees.
bool NarrowToThreadCodePage(const char16_t *text, std::size_t count, std::string &out);

#endif
