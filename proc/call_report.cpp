#include "proc/call_report.h"

#include <srv.h>

#include <iterator>

#include "charset/ascii_case.h"
#include "charset/lead_byte.h"
#include "charset/text_source.h"
#include "charset/thread_codepage.h"
#include "proc/client_trace.h"
#include "proc/ods_calls.h"
#include "proc/xp_params.h"

namespace {

constexpr const char *kOutputNames[] = {"@message_id", "@server_reply", "@error"};
enum { kMessageId, kServerReply, kError };

constexpr char kRaiseName[] = "@raise";
constexpr char kRaiseOff[] = "no";

// Options and OUTPUT parameters have no position.
constexpr int kByNameOnly = 0;

// A (max) variable may report no length of its own; the values are
// bounded anyway.
constexpr std::uint32_t kNoLength = 0;

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

bool IsEightBitType(int type) {
  return type == SRVBIGVARCHAR || type == SRVBIGCHAR || type == SRVVARCHAR || type == SRVCHAR;
}

bool IsWideType(int type) { return type == SRVNVARCHAR || type == SRVNCHAR; }

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The bytes of text that fit limit, a character of the thread code page
// (double-byte, or UTF-8) never cut.
std::size_t EightBitFit(const std::string &text, std::size_t limit) {
  if (text.size() <= limit) return text.size();
  std::size_t end = 0;
  if (ThreadCodePage() == kUtf8CodePage) {
    end = limit;
    while (end > 0 && IsUtf8Continuation(text[end])) --end;
    return end;
  }
  const CLeadBytes lead = ThreadLeadBytes();
  while (end < text.size()) {
    const std::size_t next = end + (lead.IsLead(static_cast<unsigned char>(text[end])) ? 2 : 1);
    if (next > limit) break;
    end = next;
  }
  return end;
}

// text as UTF-16LE bytes, at most limit of them, a surrogate pair never
// cut. Text the thread code page conversion refuses keeps its ASCII, every
// other byte as "?".
std::string WideFit(const std::string &text, std::size_t limit) {
  std::u16string wide;
  if (!WidenFromThreadCodePage(text.data(), text.size(), wide)) {
    wide.clear();
    for (char c : text) wide.push_back(static_cast<unsigned char>(c) < 0x80 ? c : u'?');
  }
  std::size_t units = wide.size() < limit / 2 ? wide.size() : limit / 2;
  if (units < wide.size() && units > 0 && IsHighSurrogate(wide[units - 1])) --units;
  std::string bytes;
  bytes.reserve(units * 2);
  for (std::size_t i = 0; i < units; ++i) {
    bytes.push_back(static_cast<char>(wide[i] & 0xFF));
    bytes.push_back(static_cast<char>(wide[i] >> 8));
  }
  return bytes;
}

}  // namespace

void AppendOutputParamNames(std::vector<const char *> &names) {
  for (const char *name : kOutputNames) names.push_back(name);
}

void CCallReport::Prepare(CXPData *srvproc, const CXpParams &params) {
  static_assert(std::size(kOutputNames) == kOutputCount, "one target per OUTPUT parameter");
  if (const CXpParam *raise = params.Find(kRaiseName, kByNameOnly)) {
    std::string value;
    const bool read = params.GetParam(kRaiseName, kByNameOnly, value);
    m_raise = raise->actualLength > 0 && !(read && SameAsciiText(value, kRaiseOff));
  }
  for (int i = 0; i < kOutputCount; ++i) {
    const CXpParam *param = params.Find(kOutputNames[i], kByNameOnly);
    // Asked only of a position the listing holds.
    if (param == nullptr || (srv_paramstatus(srvproc, param->position) & SRV_PARAMRETURN) == 0)
      continue;
    m_targets[i].position = param->position;
    m_targets[i].type = param->type;
    m_targets[i].maxLength = param->maxLength;
  }
}

int CCallReport::Severity() const { return m_raise ? kRaisedSeverity : kFailureSeverity; }

void CCallReport::Set(CXPData *srvproc, const CTarget &target, const std::string *text) const {
  if (target.position == 0) return;
  const bool eightBit = IsEightBitType(target.type);
  if (!eightBit && !IsWideType(target.type)) return;
  if (text == nullptr) {
    srv_paramsetoutput(srvproc, target.position, nullptr, 0, 1);
    return;
  }
  const std::size_t limit = target.maxLength == kNoLength ? text->size() * 2 : target.maxLength;
  std::string bytes = eightBit ? text->substr(0, EightBitFit(*text, limit)) : WideFit(*text, limit);
  srv_paramsetoutput(srvproc, target.position, reinterpret_cast<BYTE *>(bytes.data()),
                     static_cast<ULONG>(bytes.size()), 0);
}

void CCallReport::SetOutputs(CXPData *srvproc, const std::string &messageId,
                             const std::string &serverReply, const char *error) const noexcept {
  // Each value on its own: one that cannot be made leaves the others set.
  try {
    Set(srvproc, m_targets[kMessageId], messageId.empty() ? nullptr : &messageId);
  } catch (...) {
  }
  try {
    const std::string shown = PrintableTraceLine(serverReply);
    Set(srvproc, m_targets[kServerReply], serverReply.empty() ? nullptr : &shown);
  } catch (...) {
  }
  try {
    const std::string text = error != nullptr ? error : "";
    Set(srvproc, m_targets[kError], error != nullptr ? &text : nullptr);
  } catch (...) {
  }
}
