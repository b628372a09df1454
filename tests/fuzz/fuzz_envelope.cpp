// Fuzzes the envelope: the recipient list GetRecipients builds from the
// To, CC and BCC texts the setters accepted, and the reader that cuts it
// (or any list) into RCPT TO elements. Properties: the list fits the
// length GetRecipientsLength demands and is one C string; the reader ends
// (with kEnd or kTooLong) within one call per byte, no element exceeds
// kMaxEnvelopeElement, and no element of a list the setters built holds
// CR, LF or NUL (an element of any other list that does is refused by the
// RCPT TO step before its command is built), and none of a non-empty list
// the setters built is empty (empty entries are skipped, empty addresses
// refused).
#include <cstring>
#include <string>
#include <vector>

#include "mail/smtp_mail.h"
#include "smtp/envelope.h"
#include "tests/fuzz/recipient_setup.h"

namespace {

void ReadElements(const char *list, bool from_setters) {
  const std::size_t length = std::strlen(list);
  CEnvelopeElements reader(list);
  std::string element;
  for (std::size_t calls = 0;; ++calls) {
    FUZZ_CHECK(calls <= length + 1);
    const CEnvelopeElements::Result result = reader.Next(element);
    if (result == CEnvelopeElements::kTooLong) return;
    if (result == CEnvelopeElements::kEnd) {
      // and stays at its end
      FUZZ_CHECK(reader.Next(element) == CEnvelopeElements::kEnd);
      return;
    }
    FUZZ_CHECK(element.size() <= kMaxEnvelopeElement);
    if (from_setters) {
      FUZZ_CHECK(element.find_first_of(std::string("\r\n\0", 3)) == std::string::npos);
      FUZZ_CHECK(length == 0 || !element.empty());
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  // The reader alone, on the raw bytes as one list.
  const std::string raw(reinterpret_cast<const char *>(data), size);
  ReadElements(raw.c_str(), false);

  CFuzzInput input(data, size);
  CSmtpMail mail;
  FillRecipients(mail, input);
  const std::size_t needed = mail.GetRecipientsLength();
  std::vector<char> buffer(needed);
  std::size_t length = needed;
  FUZZ_CHECK(mail.GetRecipients(buffer.data(), &length));
  FUZZ_CHECK(length < needed && buffer[length] == '\0');
  FUZZ_CHECK(std::strlen(buffer.data()) == length);
  if (needed > 1) {
    std::size_t too_small = needed - 1;
    FUZZ_CHECK(!mail.GetRecipients(buffer.data(), &too_small) && too_small == needed);
  }
  ReadElements(buffer.data(), true);
  return 0;
}
