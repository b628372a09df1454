#include "smtp/dialogue_trace.h"

namespace {

constexpr char kCommandMark[] = "> ";
constexpr char kReplyMark[] = "< ";
constexpr char kLinesNotShown[] = "< (more reply lines not shown)";

// The text of one line without its line end: LF, or CR LF (RFC 5321
// section 2.3.8; a bare LF ends a line as a server may send it).
std::string_view WithoutLineEnd(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace

void CDialogueTrace::SetSink(CTraceSink *sink) {
  m_sink = sink;
  m_line.clear();
  m_open = false;
  Allow(1);
}

void CDialogueTrace::Event(std::string_view text) {
  if (m_sink == nullptr) return;
  EndReply();
  m_sink->Trace(text);
  Allow(1);
}

void CDialogueTrace::Commands(const char *bytes, std::size_t length) {
  if (m_sink == nullptr) return;
  EndReply();
  std::string_view rest(bytes, length);
  std::size_t lines = 0;
  while (!rest.empty()) {
    std::size_t end = rest.find('\n');
    end = end == std::string_view::npos ? rest.size() : end + 1;
    m_sink->Trace(std::string(kCommandMark) + std::string(WithoutLineEnd(rest.substr(0, end))));
    rest.remove_prefix(end);
    ++lines;
  }
  Allow(lines > 0 ? lines : 1);
}

void CDialogueTrace::Shown(std::string_view shown) {
  if (m_sink == nullptr) return;
  EndReply();
  m_sink->Trace(std::string(kCommandMark) + std::string(shown));
  Allow(1);
}

void CDialogueTrace::Reply(const char *bytes, std::size_t length) {
  if (m_sink == nullptr) return;
  for (std::size_t i = 0; i < length; ++i) {
    if (!m_open) {
      m_line = kReplyMark;
      m_open = true;
    }
    // The mark and kMaxTracedLine bytes of the line, and its line end.
    if (m_line.size() < sizeof kReplyMark - 1 + kMaxTracedLine + 2) m_line.push_back(bytes[i]);
    if (bytes[i] == '\n') ReportLine();
  }
}

void CDialogueTrace::EndReply() {
  if (m_sink != nullptr && m_open) ReportLine();
}

std::string CDialogueTrace::MessageShown(std::size_t bytes) {
  return "<message: " + std::to_string(bytes) + " bytes>";
}

void CDialogueTrace::ReportLine() {
  if (m_budget > 0) {
    --m_budget;
    m_sink->Trace(WithoutLineEnd(m_line).substr(0, sizeof kReplyMark - 1 + kMaxTracedLine));
  } else if (!m_noted) {
    m_noted = true;
    m_sink->Trace(kLinesNotShown);
  }
  m_line.clear();
  m_open = false;
}

void CDialogueTrace::Allow(std::size_t commandLines) {
  m_budget = commandLines * kReplyLinesPerCommand;
  m_noted = false;
}
