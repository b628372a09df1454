// Lead bytes of double-byte characters, for scanning 8-bit text in the
// thread code page.
//
// In a double-byte code page the second byte of a character may equal an
// ASCII delimiter ("\" in Shift_JIS, for one); a scan that steps over a lead
// byte together with the byte after it never takes such a byte for the
// delimiter. Code pages without double-byte characters (UTF-8 among them:
// none of its continuation bytes is ASCII) have no lead bytes.
//
// A table is a plain value; it is read afresh for each list, never cached
// process-wide.
//
// The tables of the double-byte code pages are portable (lead_byte.cpp);
// that of the thread code page comes from the platform (lead_byte_win32.cpp
// asks Windows, lead_byte_posix.cpp takes the portable table), for the
// code page the conversions of 8-bit text use (thread_codepage.h), so the
// scan and the conversion read the text alike. The calls run from the
// platform file to the portable one only.
#ifndef MAILVANE_CHARSET_LEAD_BYTE_H
#define MAILVANE_CHARSET_LEAD_BYTE_H

#include <cstdint>

#include "charset/text_source.h"

class CLeadBytes {
 public:
  // No lead bytes: every byte is a character of its own.
  CLeadBytes() = default;

  // The lead bytes of the double-byte code pages 932, 936, 949 and 950;
  // none for any other code page.
  static CLeadBytes OfCodePage(std::uint32_t code_page);

  bool IsLead(unsigned char byte) const { return m_lead[byte]; }
  // True for the table of a double-byte code page.
  bool Any() const {
    for (bool lead : m_lead)
      if (lead) return true;
    return false;
  }
  void SetLead(unsigned char byte) { m_lead[byte] = true; }

 private:
  bool m_lead[256] = {};
};

// The lead bytes of the thread code page, as the platform reports them
// now.
CLeadBytes ThreadLeadBytes();

// The lead bytes of caller text from source: those of the thread code page
// for 8-bit text, none for UTF-8.
inline CLeadBytes LeadBytesOf(TextSource source) {
  return source == TextSource::kUtf8 ? CLeadBytes() : ThreadLeadBytes();
}

#endif
