// RFC 2047 encoded words for header text: the Q and B encoders and the
// choice between them.
//
// Header text is untrusted caller text. Bytes that may not appear raw in a
// header, CR and LF among them (a raw line break would let the text add
// header lines of its own), make the text "unsafe". With a multi-language
// service an unsafe text becomes encoded words, Q when fewer than 17 % of
// its bytes are unsafe, else B: one word when it is at most 75 characters
// long (RFC 2047 section 2), else several words of at most 75 characters
// each, joined by a fold (CR LF TAB; a decoder drops the white space
// between two encoded words, section 6.2, and gets the text back) and cut
// only between whole characters of the charset (charset_characters.h) and
// never inside an "=XX" of Q, so each word decodes alone (section 5). A Q word that stands
// in a phrase (a display name of the From, To or CC line) escapes every
// byte but letters, digits and "! * + - /" (RFC 2047 section 5(3)); one
// in unstructured text (the subject) escapes fewer. Without a service the
// text is copied unchanged, except that a text with CR or LF is refused.
#ifndef MAILVANE_MIME_ENCODED_WORD_H
#define MAILVANE_MIME_ENCODED_WORD_H

#include <cstddef>
#include <string>

// The longest encoded word (RFC 2047 section 2), its "=?", charset, "?Q?"
// or "?B?" and "?=" included.
inline constexpr std::size_t kLongestEncodedWord = 75;

// Percentage of unsafe bytes from which the B encoding is the shorter one.
inline constexpr std::size_t kBase64FromPercent = 17;

// The fold written between two encoded words of one text.
inline constexpr char kWordFold[] = "\r\n\t";

// The end of the encoded word "=?charset?x?text?=" that starts at pos,
// or pos when none starts there.
std::size_t EncodedWordEnd(const std::string &text, std::size_t pos);

// Where an encoded word stands: in unstructured text, or in a phrase.
enum class WordPlace { kText, kPhrase };

// True for the bytes that may not stand raw in a header: 0x00-0x08, 0x0A,
// 0x0B, 0x0C, 0x0D, 0x0E-0x1F and 0x7F-0xFF. TAB is safe.
bool IsUnsafeHeaderByte(unsigned char byte);

// True when the text holds CR or LF. Without a multi-language service such
// a text cannot be made safe for a header, and the setters refuse it.
bool HasLineBreak(const std::string &text);

std::size_t CountUnsafeBytes(const std::string &text);

// Whether an unsafe text is written in Q (else B) words.
bool UsesQEncoding(const std::string &text);

// The capacities the two encoders demand for an n-byte text in one word.
std::size_t QWordCapacity(std::size_t n);
std::size_t BWordCapacity(std::size_t n);

// Appends one Q or B word for length bytes at data.
void AppendQWord(std::string &out, const char *charset, const char *data, std::size_t length,
                 WordPlace place = WordPlace::kText);
void AppendBWord(std::string &out, const char *charset, const char *data, std::size_t length);

// The header form of text (see above) into out; encoded is set when words
// were produced. can_encode tells whether a multi-language service is
// present. False, with out empty, when the text has a line break and cannot
// be encoded. Throws std::bad_alloc.
bool BuildHeaderText(const std::string &text, const char *charset, bool can_encode,
                     std::string &out, bool &encoded, WordPlace place = WordPlace::kText);

#endif
