// The texts the connection and the dialogue over it leave as the
// connection's last error, and their formatting. The procedure reports them
// to the SQL client unchanged; %d is the platform's error number, %s a
// reply code (never server text beyond it), the name of the step that
// timed out, a mechanism name, or the mechanisms a server offers
// (sanitised and bounded, ehlo_keywords.h). No text ever holds a
// credential.
#ifndef MAILVANE_SMTP_TRANSPORT_TEXTS_H
#define MAILVANE_SMTP_TRANSPORT_TEXTS_H

#include <string>

#include "mail/cancel_probe.h"
#include "mail/format_text.h"

// A call its client cancelled, wherever it stood: kTextCallCancelled.

// Connect.
inline constexpr char kTextAlreadyConnected[] = "Socket is already connected.";
inline constexpr char kTextStartup[] = "COM Init error: %d";
inline constexpr char kTextResolve[] = "Cannot find server(%d)";
inline constexpr char kTextCreateSocket[] = "Cannot create socket(%d)";
inline constexpr char kTextCreateEvent[] = "Cannot create event(%d)";
inline constexpr char kTextSelect[] = "Socket select error(%d)";
inline constexpr char kTextSocket[] = "Socket error(%d)";
inline constexpr char kTextConnectTimeout[] = "Connection timeout(%d)";
inline constexpr char kTextConnectResult[] = "Socket event error(%d)";

// Replies and the dialogue.
inline constexpr char kTextResponseCode[] = "SMTP Server response code(%s)";
inline constexpr char kTextHostName[] = "Cannot get hostname(%d)";
inline constexpr char kTextNotConnected[] = "Socket is not connected";

// Authentication refused before any credential is written.
inline constexpr char kTextNoMechanism[] = "SMTP Server offers no supported AUTH mechanism(%s)";
inline constexpr char kTextCredentialsTooLong[] = "Credentials too long for AUTH %s";

// Waits and transfers that did not complete.
inline constexpr char kTextReplyTimeout[] = "SMTP Server reply timeout(%s)";
inline constexpr char kTextReplyTooLong[] = "SMTP Server reply too long(%s)";
// The server had sent bytes that answer no command when the step's command
// was due (or, after the 220 to STARTTLS, the handshake): they are never
// taken as its reply.
inline constexpr char kTextOutOfTurn[] = "SMTP Server reply out of turn(%s)";
inline constexpr char kTextWriteTimeout[] = "Socket write timeout";
inline constexpr char kTextSendCommand[] = "Cannot send command(%d)";
inline constexpr char kTextSendMessage[] = "Cannot send message(%d)";
inline constexpr char kTextReceive[] = "Cannot receive reply(%d)";
inline constexpr char kTextClosedByServer[] = "Connection closed by server";
inline constexpr char kTextWriteMessage[] = "Cannot write message";

// TLS. Each says which step failed; after any of them nothing more was
// sent on the connection.
inline constexpr char kTextTlsNotOffered[] = "SMTP Server does not offer STARTTLS";
inline constexpr char kTextTlsRefused[] = "SMTP Server refused STARTTLS(%s)";
inline constexpr char kTextTlsSetup[] = "Cannot set up TLS(%d)";
inline constexpr char kTextTlsTimeout[] = "TLS handshake timeout";
inline constexpr char kTextTlsHandshake[] = "TLS handshake failed(%d)";
inline constexpr char kTextTlsClosed[] = "TLS handshake failed: connection closed by server";
inline constexpr char kTextTlsOldProtocol[] = "TLS handshake failed: server offers no TLS 1.2 or later";
inline constexpr char kTextTlsUntrusted[] = "Server certificate not trusted(%d)";
inline constexpr char kTextTlsNameMismatch[] = "Server certificate does not match the server name";
// Inside TLS the rest of a multi-line EHLO reply was no valid record, or the
// session failed under it; a drain that runs out of time inside TLS leaves
// kTextReplyTimeout with the step "rest of EHLO reply".
inline constexpr char kTextTlsReplyBroken[] = "TLS session failed in EHLO reply(%d)";

// Envelope texts refused before they are sent.
inline constexpr char kTextSenderTooLong[] = "Sender address too long";
inline constexpr char kTextSenderInvalid[] = "Invalid sender address";
inline constexpr char kTextRecipientTooLong[] = "Recipient address too long";
inline constexpr char kTextRecipientInvalid[] = "Invalid recipient address";
inline constexpr char kTextRecipientList[] = "Cannot build recipient list";

#endif
