// The time limits of one send. The defaults are the client time-outs of
// RFC 5321 section 4.5.3.2, the connect limit of 10 s per address and the
// drain of 5 s after EHLO; no wait on the server is ever unbounded, so a
// server that stops answering cannot hold a SQL Server worker thread. The
// procedure sends with the defaults unless the caller gives "@timeout"
// (proc/call_options.h); tests shorten them on the mail object.
#ifndef MAILVANE_MAIL_SMTP_TIMEOUTS_H
#define MAILVANE_MAIL_SMTP_TIMEOUTS_H

struct CSmtpTimeouts {
  int connectMs = 10000;              // TCP connect, per resolved address
  int ehloDrainMs = 5000;             // late lines of the EHLO reply
  int replyMs = 5 * 60 * 1000;        // greeting, HELO, EHLO, AUTH, MAIL, RCPT, RSET
  int dataReplyMs = 2 * 60 * 1000;    // the 354 after DATA
  int writeMs = 3 * 60 * 1000;        // each write of commands and message data
  int endOfDataMs = 10 * 60 * 1000;   // the reply to the end of data
};

#endif
