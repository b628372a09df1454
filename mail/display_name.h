// The display part of a mailbox in the From, To and CC lines.
//
// The display name (caller text in the thread code page, or UTF-8 from a
// Unicode parameter) is converted to the target code page by the mail's
// multi-language service, then written
// as a quoted string (RFC 5322 3.2.4: a backslash before every backslash
// and double quote, second bytes of double-byte characters left alone) or,
// when it holds bytes a header may not carry raw, as RFC 2047 encoded
// words under the rules for a phrase (encoded_word.h). Without a service
// the name's bytes are quoted unconverted. A name with a line break is
// refused, never written, encoded or not.
#ifndef MAILVANE_MAIL_DISPLAY_NAME_H
#define MAILVANE_MAIL_DISPLAY_NAME_H

#include <cstdint>
#include <string>

#include "charset/lead_byte.h"
#include "mime/mail_header.h"

enum class DisplayOutcome {
  kMade,     // out holds the display part
  kFailed,   // conversion, charset naming, encoding or memory failed
  kRefused,  // the name holds a line break
};

// The display part of name (text from source) for the header's service
// and charset of code_page (0: the system's ANSI code page) into out.
DisplayOutcome MakeDisplayPart(const CMailHeader &header, const std::string &name,
                               std::uint32_t code_page, TextSource source, const CLeadBytes &lead,
                               std::string &out);

#endif
