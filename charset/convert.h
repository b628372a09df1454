// Text conversion to the message's code page, and the MIME charset name of
// a code page.
//
// ConvertText widens caller text (up to its first zero byte) from its
// source, the thread code page or UTF-8 (text_source.h), and converts it to
// code_page through the multi-language service; code page 0 stands for the
// system's ANSI code page. UTF-8 text must be well formed, and is copied
// as it is when code_page is UTF-8 too: converted again, it could only
// change. The service must be present: callers without one keep their
// bytes as they are. A long text is converted in pieces cut between
// characters, so that its UTF-16 form is never held whole.
// GetCharsetName writes the web charset name of code_page into out (a
// caller's array of `limit` bytes) and fails for a name of `limit` bytes or
// more; without a service only code pages 0 and 28591 have a name,
// "iso-8859-1", and UTF-8, "utf-8" (text kept as it is is still UTF-8).
// Both report failure only through their result.
#ifndef MAILVANE_CHARSET_CONVERT_H
#define MAILVANE_CHARSET_CONVERT_H

#include <cstdint>
#include <string>

#include "charset/multi_language.h"
#include "charset/text_source.h"

bool ConvertText(CMultiLanguageService *service, std::uint32_t code_page, const char *text,
                 std::string &out, TextSource source = TextSource::kThreadCodePage);

bool GetCharsetName(char *out, std::uint32_t code_page, CMultiLanguageService *service,
                    int limit);

#endif
