// The rows of a report in a mail: checked when they are set, before the
// server is contacted, and placed as the body's table or as a CSV
// attachment (report/).
#include <cstring>
#include <memory>
#include <new>

#include "charset/ascii_case.h"
#include "charset/convert.h"
#include "mail/smtp_mail.h"
#include "mime/text_part.h"
#include "report/csv_attachment.h"
#include "report/rows_body.h"

namespace {

constexpr char kRowsMark[] = "<!--rows-->";
constexpr char kBodyEnd[] = "</body";
constexpr char kUtf8Charset[] = "utf-8";

// The last "</body" of an HTML text, in any case; npos when none.
std::size_t FindBodyEnd(const std::string &text) {
  const std::size_t n = sizeof kBodyEnd - 1;
  for (std::size_t at = text.size() >= n ? text.size() - n + 1 : 0; at-- > 0;)
    if (SameAsciiText(std::string_view(text).substr(at, n), kBodyEnd)) return at;
  return std::string::npos;
}

// What sets a text table apart from the text before it: an empty line.
std::string LeadOf(const std::string &text) {
  if (text.empty()) return "";
  const char last = text.back();
  return last == '\n' || last == '\r' ? "\r\n" : "\r\n\r\n";
}

}  // namespace

HResult CSmtpMail::SetRows(std::string rows, TextSource source, const char *content_type,
                           const char *file_name, TextSource name_source) {
  m_rowsFault = CRowsFault();
  try {
    // 8-bit text becomes UTF-8. Text the conversion cannot take (a NUL,
    // where it would stop; bytes the code page has no character for) is
    // left as it is, for the reader to refuse where it is no UTF-8 JSON.
    std::string utf8;
    if (source == TextSource::kThreadCodePage && m_multiLanguage != nullptr &&
        rows.find('\0') == std::string::npos &&
        ConvertText(m_multiLanguage, kUtf8CodePage, rows.c_str(), utf8, source)) {
      rows = std::string();  // held once, as UTF-8 from here on
      rows.swap(utf8);
    }
    auto table = std::make_shared<CJsonRows>();
    if (!table->Load(std::move(rows), m_rowsFault)) return kRefusedRows;

    std::size_t body = m_parts.empty() ? 0 : 1;
    auto *text = body != 0 ? dynamic_cast<CTextPart *>(m_parts.front().get()) : nullptr;
    if (text == nullptr) body = 0;
    if (file_name != nullptr && file_name[0] != '\0') {
      m_parts.insert(m_parts.begin() + static_cast<std::ptrdiff_t>(body),
                     std::make_unique<CCsvAttachment>(table, file_name, name_source));
      return S_OK;
    }
    if (text == nullptr) {
      if (const HResult made = SetBody("", 0, content_type, kUtf8CodePage, TextSource::kUtf8);
          made != S_OK)
        return made;
      text = static_cast<CTextPart *>(m_parts.front().get());
    }
    if (std::strcmp(text->GetCharset(), kUtf8Charset) != 0) return E_INVALIDARG;

    const std::string &body_text = text->Text();
    const bool html = dynamic_cast<CHtmlPart *>(text) != nullptr;
    std::size_t at = body_text.size();
    std::size_t replaced = 0;
    if (html) {
      if (const std::size_t mark = body_text.find(kRowsMark); mark != std::string::npos) {
        at = mark;
        replaced = sizeof kRowsMark - 1;
      } else if (const std::size_t end = FindBodyEnd(body_text); end != std::string::npos) {
        at = end;
      }
    }
    auto insert = CRowsBody::Make(table, html, html ? "" : LeadOf(body_text));
    // Either fails only when memory runs out.
    if (insert == nullptr || !text->SetInsert(at, replaced, std::move(insert)))
      return E_OUTOFMEMORY;
    return S_OK;
  } catch (const std::bad_alloc &) {
    return E_OUTOFMEMORY;
  }
}
