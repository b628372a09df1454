// Fuzzes the recipient setters and the header block they feed: whatever
// the To, CC and BCC texts, lists the setters accepted are written, and the
// block holds no CR or LF but the CR LF ending each line and those of folds
// (CR LF followed by TAB or space), no line over 998 bytes (unless it is
// one word, which no fold may split), no line of
// white space only, only the header's own fields (a To or CC text can never
// add a field line); the BCC text holds no line break either.
#include <set>
#include <string>

#include "mail/smtp_mail.h"
#include "tests/fuzz/recipient_setup.h"
#include "tests/support/memory_channel.h"

namespace {

// RFC 5322 2.1.1: 998 characters a line, without its CR LF.
constexpr std::size_t kLongestHeaderLine = 998;

// A line with no blank to break it at: one word (addresses aside, which
// are never broken), after the field name or the fold's blank.
bool IsOneWord(const std::string &line) {
  std::size_t i = line.find_first_not_of(" \t");
  const std::size_t colon = line.find(": ");
  if (i == 0 && colon != std::string::npos) i = colon + 2;
  bool in_address = false;
  for (; i < line.size(); ++i) {
    if (line[i] == '<') in_address = true;
    if (line[i] == '>') in_address = false;
    if (!in_address && (line[i] == ' ' || line[i] == '\t')) return false;
  }
  return true;
}

void CheckBlock(const std::string &block, const CSmtpMail &mail) {
  FUZZ_CHECK(OnlyCrLfPairs(block));
  FUZZ_CHECK(block.size() >= 2 && block.compare(block.size() - 2, 2, "\r\n") == 0);
  static const std::set<std::string> kFields = {"Date", "From", "Subject", "To", "CC", "Message-ID"};
  std::multiset<std::string> seen;
  std::size_t start = 0;
  while (start < block.size()) {
    const std::size_t end = block.find("\r\n", start);
    const std::string line = block.substr(start, end - start);
    start = end + 2;
    FUZZ_CHECK(line.size() <= kLongestHeaderLine || IsOneWord(line));
    if (line.empty()) FUZZ_CHECK(!"empty line inside the header block");
    if (line[0] == ' ' || line[0] == '\t') {
      FUZZ_CHECK(!seen.empty());  // a fold continues a field
      FUZZ_CHECK(line.find_first_not_of(" \t") != std::string::npos);
      continue;
    }
    const std::size_t colon = line.find(": ");
    FUZZ_CHECK(colon != std::string::npos);
    const std::string name = line.substr(0, colon);
    FUZZ_CHECK(kFields.count(name) == 1);
    seen.insert(name);
  }
  for (const char *name : {"Date", "From", "Subject", "To", "CC"}) FUZZ_CHECK(seen.count(name) <= 1);
  FUZZ_CHECK(seen.count("Message-ID") == 1);
  FUZZ_CHECK(seen.count("To") == (mail.m_to.empty() ? 0u : 1u));
  FUZZ_CHECK(seen.count("CC") == (mail.m_cc.empty() ? 0u : 1u));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  CFuzzInput input(data, size);
  CSmtpMail mail;
  mail.SetFrom("sender@example.org", 0);
  const CRecipientSetup setup = FillRecipients(mail, input);
  FUZZ_CHECK(mail.m_bcc.find_first_of("\r\n") == std::string::npos);

  CMemoryChannel channel;
  const int written = mail.CMailHeader::WriteTo(&channel, "", 0);
  // What the setters accepted, the header writes: they refuse what it
  // would refuse.
  if (setup.AllSet()) FUZZ_CHECK(written == 1);
  if (written == 1) {
    FUZZ_CHECK(channel.WriteCount() == 1);
    CheckBlock(channel.Bytes(), mail);
  }
  return 0;
}
