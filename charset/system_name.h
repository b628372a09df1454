// The names the system looks up for a caller: the server's host name (the
// resolver, the TLS server name) and the paths of attachments (the file
// system).
//
// Windows takes such names as UTF-16, through its wide interfaces
// (GetAddrInfoW, CreateFileW, ...): a Unicode value reaches them with every
// character, and an 8-bit value is widened there from the thread code page,
// once, by the rule every other conversion of 8-bit text uses. POSIX
// systems take names as bytes in the codeset of the thread's locale: a
// Unicode value is converted to it exactly, and one holding a character it
// cannot hold is refused, since it would name another host or file, or
// none; an 8-bit value is taken as it is.
//
// A name travels with its TextSource to the platform call, which alone
// turns it into what the platform takes.
#ifndef MAILVANE_CHARSET_SYSTEM_NAME_H
#define MAILVANE_CHARSET_SYSTEM_NAME_H

#include <cstddef>
#include <string>

#include "charset/text_source.h"

// Makes the value (text of source) the name the platform will be given;
// both may change. False when it cannot name anything on this platform.
bool ToSystemName(std::string &text, TextSource &source);

// The UTF-16 form of a name of source, up to its first zero byte; false
// when it has none (UTF-8 that is not well formed, text the thread code
// page conversion refuses).
bool WideName(const char *text, TextSource source, std::u16string &out);

// Text of source as a message to the client shows it: in the thread code
// page, a character it cannot hold as the platform replaces it (the text
// only points the caller at what was meant); 8-bit text as it is.
std::string ClientText(const std::string &text, TextSource source);

#endif
