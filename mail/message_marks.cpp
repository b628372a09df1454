#include "mail/message_marks.h"

#include "mail/smtp_mail.h"

namespace {

// X-Priority runs from 1 (highest) to 5 (lowest); 3 is every mail's own.
constexpr std::int32_t kHighestPriority = 1;
constexpr std::int32_t kUsualPriority = 3;
constexpr std::int32_t kLowestPriority = 5;

const char *ImportanceWord(Importance importance) {
  switch (importance) {
    case Importance::kLow: return "low";
    case Importance::kNormal: return "normal";
    case Importance::kHigh: return "high";
    case Importance::kUnset: break;
  }
  return nullptr;
}

const char *SensitivityWord(Sensitivity sensitivity) {
  switch (sensitivity) {
    case Sensitivity::kPersonal: return "Personal";
    case Sensitivity::kPrivate: return "Private";
    case Sensitivity::kConfidential: return "Company-Confidential";
    case Sensitivity::kNormal: break;
  }
  return nullptr;
}

}  // namespace

std::int32_t PriorityOf(Importance importance) {
  switch (importance) {
    case Importance::kLow: return kLowestPriority;
    case Importance::kHigh: return kHighestPriority;
    default: return kUsualPriority;
  }
}

std::string MarkLines(Importance importance, Sensitivity sensitivity) {
  std::string lines;
  if (const char *word = ImportanceWord(importance))
    lines += std::string("Importance: ") + word + "\r\n";
  if (const char *word = SensitivityWord(sensitivity))
    lines += std::string("Sensitivity: ") + word + "\r\n";
  return lines;
}

void CSmtpMail::SetMarks(Importance importance, Sensitivity sensitivity) {
  m_priority = PriorityOf(importance);
  m_extraHeader = MarkLines(importance, sensitivity);
}
