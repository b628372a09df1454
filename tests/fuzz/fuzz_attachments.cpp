// Fuzzes the splitting of the attachment list: SetAttachments on a copy of
// the text either refuses it (then some name is one the attachment cannot
// take: too long, or holding CR or LF) or adds one attachment per name,
// that is one more than there are ";", each with its name as given and none
// holding ";".
#include <algorithm>
#include <string>
#include <vector>

#include "mail/smtp_mail.h"
#include "mime/attachment.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

std::vector<std::string> SplitAtSemicolons(const std::string &text) {
  std::vector<std::string> names;
  std::size_t start = 0;
  for (;;) {
    const std::size_t semicolon = text.find(';', start);
    names.push_back(text.substr(start, semicolon - start));
    if (semicolon == std::string::npos) return names;
    start = semicolon + 1;
  }
}

bool Unacceptable(const std::string &name) {
  return name.size() > kMaxAttachmentPath || name.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  CFuzzInput input(data, size);
  const std::string text = input.Text();
  std::vector<char> copy(text.begin(), text.end());
  copy.push_back('\0');

  CSmtpMail mail;
  const std::size_t before = mail.Parts().size();
  const HResult result = mail.SetAttachments(copy.data());
  const std::vector<std::string> names = SplitAtSemicolons(text);
  if (result != S_OK) {
    FUZZ_CHECK(std::any_of(names.begin(), names.end(), Unacceptable));
    return 0;
  }
  FUZZ_CHECK(mail.Parts().size() - before ==
             static_cast<std::size_t>(std::count(text.begin(), text.end(), ';')) + 1);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const auto *attachment = dynamic_cast<const CFileAttachment *>(mail.Parts()[before + i].get());
    FUZZ_CHECK(attachment != nullptr);
    const std::string path = attachment->Path();
    FUZZ_CHECK(path.find(';') == std::string::npos);
    FUZZ_CHECK(path == names[i]);
  }
  return 0;
}
