#include "proc/client_trace.h"

#include "mailvane_version.h"
#include "proc/ods_calls.h"

namespace {

constexpr char kCutMark[] = "...";

}  // namespace

std::string PrintableTraceLine(std::string_view event) {
  std::string line;
  const bool cut = event.size() > kTraceLineLimit;
  const std::size_t keep = cut ? kTraceLineLimit - (sizeof kCutMark - 1) : event.size();
  line.reserve(kTraceLineLimit);
  for (std::size_t i = 0; i < keep; ++i) {
    unsigned char c = static_cast<unsigned char>(event[i]);
    line.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
  }
  if (cut) line += kCutMark;
  return line;
}

std::string TraceHeadline() {
  return std::string("mailvane ") + kMailvaneVersion + " (" + kMailvaneBuildPlatform + ")";
}

void CClientTrace::Trace(std::string_view event) {
  std::string line = PrintableTraceLine(event);
  ReplyInfo(m_srvproc, line.data(), static_cast<int>(line.size()));
}
