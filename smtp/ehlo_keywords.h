// What an EHLO reply announces: the service extensions this client acts
// on (RFC 5321 section 4.1.1.1: "250-KEYWORD params", "250 KEYWORD params"
// on the last line), collected by CEhloReplyReader as the reply arrives,
// split across receives anywhere.
//
// Keywords compare without case; a line that merely starts with a keyword
// ("STARTTLSX") or names it later does not count. AUTH is read in both
// forms servers use: "AUTH PLAIN LOGIN" (RFC 4954 section 3) and the older
// "AUTH=LOGIN"; the mechanisms of every AUTH line are collected in the
// order listed, each once.
//
// The reply is untrusted: the reader keeps at most kMaxKeptLine bytes of a
// line (the rest is dropped, so any length of reply is safe), at most
// kMaxMechanisms names of at most kMaxMechanismName characters, and shows
// any byte outside printable ASCII as "?".
#ifndef MAILVANE_SMTP_EHLO_KEYWORDS_H
#define MAILVANE_SMTP_EHLO_KEYWORDS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// 512: the longest reply line of RFC 5321 section 4.5.3.1.5, CR LF included.
inline constexpr std::size_t kMaxKeptLine = 512;
// 20: the longest SASL mechanism name (RFC 4422 section 3.1).
inline constexpr std::size_t kMaxMechanismName = 20;
// Far more than any server lists.
inline constexpr std::size_t kMaxMechanisms = 16;

struct CEhloCapabilities {
  bool startTls = false;
  bool auth = false;                    // an AUTH keyword, in either form
  std::vector<std::string> mechanisms;  // as listed, sanitised, bounded
  bool mechanismsCut = false;           // more were listed than kept
  bool pipelining = false;
  bool eightBitMime = false;
  bool size = false;
  std::uint64_t sizeLimit = 0;  // SIZE's number; 0 when none was given

  // The mechanism (upper case) is listed, compared without case.
  bool Offers(const char *mechanism) const;
  // The mechanisms for a message: names joined by spaces, at most
  // kMaxOfferedText characters, "..." where some were left out.
  std::string OfferedText() const;
};

// The longest list OfferedText gives, before its "...".
inline constexpr std::size_t kMaxOfferedText = 64;

class CEhloReplyReader {
 public:
  void Feed(const char *bytes, std::size_t length);
  const CEhloCapabilities &Capabilities() const { return m_offer; }

 private:
  void EndLine();
  void AddMechanisms(const std::string &list);

  char m_line[kMaxKeptLine];
  std::size_t m_length = 0;  // bytes of the line kept
  CEhloCapabilities m_offer;
};

#endif
