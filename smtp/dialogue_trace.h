// CDialogueTrace: what one connection reports of its dialogue to the trace
// sink of the mail (mail/trace_sink.h), one line of text per event:
//
//   connecting to 127.0.0.1 port 25      each address tried, as resolved
//   connected                            or the failure text of the address
//   TLS 1.3 <cipher>, certificate <subject>, verified   after a handshake
//   > EHLO name                          each command line as written
//   > AUTH PLAIN, > <credentials hidden> what stands for credentials
//   > <message: 1234 bytes>              the message, by its size
//   < 250-mx.example.com                 each reply line as received
//
// Reply bytes may come in any pieces: a line is reported once its LF has
// come, whole however it was split across receives. A line still incomplete
// when anything else is reported (the next command, a connect, the TLS
// outcome) or when the connection closes is reported as it stands.
//
// Without a sink every call returns at once and nothing is formatted. Reply
// bytes are the server's and untrusted: a line is kept up to kMaxTracedLine
// bytes (the rest of it is dropped), and a server gets at most
// kReplyLinesPerCommand lines reported per command line sent before one
// note says that more were not. The sink makes the text printable. No
// caller passes a credential: the dialogue shows kCredentialsHidden in its
// place.
#ifndef MAILVANE_SMTP_DIALOGUE_TRACE_H
#define MAILVANE_SMTP_DIALOGUE_TRACE_H

#include <cstddef>
#include <string>
#include <string_view>

#include "mail/trace_sink.h"

inline constexpr char kCredentialsHidden[] = "<credentials hidden>";

// Longer than any line a sink shows (it cuts and marks longer ones), so a
// cut line still looks cut.
inline constexpr std::size_t kMaxTracedLine = 2048;
// A multi-line reply of a real server has a few dozen lines (an EHLO reply
// the most); more is a server flooding the trace.
inline constexpr std::size_t kReplyLinesPerCommand = 100;

class CDialogueTrace {
 public:
  // The sink belongs to the caller and must outlive the trace; null: none.
  void SetSink(CTraceSink *sink);
  bool On() const { return m_sink != nullptr; }

  // An event of the connection itself (connect, outcome, TLS).
  void Event(std::string_view text);
  // Command lines as written, one or several, each ended by CR LF.
  void Commands(const char *bytes, std::size_t length);
  // One command line shown in place of what was written.
  void Shown(std::string_view shown);
  // Bytes of replies as one receive gave them.
  void Reply(const char *bytes, std::size_t length);
  // The reading has ended (the connection closes): an incomplete reply
  // line is reported as it stands.
  void EndReply();

  // What the trace shows in place of a message of this many bytes.
  static std::string MessageShown(std::size_t bytes);

 private:
  void ReportLine();
  void Allow(std::size_t commandLines);

  CTraceSink *m_sink = nullptr;
  std::string m_line;  // "< " and the reply line received so far
  bool m_open = false;  // a reply line has begun and not been reported
  std::size_t m_budget = kReplyLinesPerCommand;
  bool m_noted = false;  // the note of lines not shown has been reported
};

#endif
