// How important and how confidential a mail is, as mail programs show it:
// the importance as the X-Priority line every program reads and the
// Importance line Outlook and Exchange read; the sensitivity as the
// Sensitivity line of RFC 2156 section 5.3.4.
//
// Without either the message keeps its one line "X-Priority: 3". Low,
// normal and high importance give the priorities 5, 3 and 1 with
// "Importance: low", "normal" or "high" after them; a personal, private or
// confidential mail gets "Sensitivity: Personal", "Private" or
// "Company-Confidential" next (normal sensitivity writes no line).
#ifndef MAILVANE_MAIL_MESSAGE_MARKS_H
#define MAILVANE_MAIL_MESSAGE_MARKS_H

#include <cstdint>
#include <string>

enum class Importance { kUnset, kLow, kNormal, kHigh };
enum class Sensitivity { kNormal, kPersonal, kPrivate, kConfidential };

// The priority for X-Priority, and the header lines after it (each ending
// in CR LF), for the marks. Throws std::bad_alloc.
std::int32_t PriorityOf(Importance importance);
std::string MarkLines(Importance importance, Sensitivity sensitivity);

#endif
