// The host's own code page, in which xpexec passes varchar text as SQL
// Server passes it in the server's code page.
//
// UseHostLocale runs once at start, before any thread: it takes the locale
// from the environment (setlocale(LC_ALL, "")) and, where that leaves
// plain ASCII, takes C.UTF-8 instead, so text typed in a terminal stays
// UTF-8 end to end. On Windows the host code page is the ANSI code page.
//
// Utf8ToHostCodepage converts statement text (UTF-8, untrusted) to that
// code page. Where the code page is UTF-8 the bytes pass unchanged, even
// invalid ones. Otherwise a character the code page cannot hold, and a
// byte that is not valid UTF-8, becomes '?', as the server's own
// conversion does; conversion never fails.
#ifndef MAILVANE_HOST_XPEXEC_HOST_CODEPAGE_H
#define MAILVANE_HOST_XPEXEC_HOST_CODEPAGE_H

#include <string>
#include <string_view>

namespace xpexec {

void UseHostLocale();

std::string Utf8ToHostCodepage(std::string_view utf8);

}  // namespace xpexec

#endif
