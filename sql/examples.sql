-- One call of mailvane per thing it can do. Each call sends one mail.
--
-- Parameters, by name (a value without a name is not taken):
--   @server        SMTP server, host name or address              required
--   @port          its port, as text or as a number               default 25
--   @recipients    To list                                        required
--   @from          sender: an address, or a name and the address  required
--   @copy_recipients, @blind_copy_recipients   Cc and Bcc lists
--   @subject, @message
--   @type          'text/html' for an HTML body, else plain text  default 'text/plain'
--   @attachments   files on the server's disk, ';'-separated
--   @user, @pwd    SMTP authentication (AUTH PLAIN)
--   @tls           'starttls' or 'implicit'; absent or '': no TLS
--   @tls_verify    'yes' (default): the server's certificate is checked;
--                  'no': any certificate is accepted
--
-- A recipient list is separated by ';' or ','. Each entry is an address, a
-- display name followed by the address in angle brackets (as mail programs
-- write it; quote a name that holds a comma), or a display name in angle
-- brackets followed by the address:
--   'Ann Lee <ann@example.com>, "Stone, Bob" <bob@example.com>; <Cy> cy@example.com'
-- Empty entries are skipped. An entry that leaves no single address is
-- refused before anything is sent ('Invalid address in @recipients: "..."').
-- @from takes one entry of the same forms: 'Nightly Jobs <jobs@example.com>'.
--
-- The result is 0 when the mail was sent and 1 otherwise; on failure the
-- procedure also sends one message (number 20001, severity 1) whose text
-- says why. Severity 1 is informational: no CATCH block sees it, so test
-- the result.

-- Plain text.
DECLARE @rc int;
EXEC @rc = master..mailvane
    @server = N'mail.example.com',
    @from = N'reports@example.com',
    @recipients = N'<Ann Lee> ann@example.com',
    @subject = N'Nightly load finished',
    @message = N'All 12 tables were loaded.';
IF @rc <> 0 PRINT 'the mail was not sent';
GO

-- An HTML body.
EXEC master..mailvane
    @server = N'mail.example.com',
    @from = N'reports@example.com',
    @recipients = N'ann@example.com',
    @subject = N'Sales today',
    @message = N'<html><body><h1>Sales</h1><p>Up <b>4%</b> on yesterday.</p></body></html>',
    @type = N'text/html';
GO

-- Copies: Cc recipients are shown in the mail, Bcc recipients are not.
-- The sender and the To list in the form mail programs write.
EXEC master..mailvane
    @server = N'mail.example.com',
    @from = N'Nightly Jobs <reports@example.com>',
    @recipients = N'Ann Lee <ann@example.com>, "Stone, Bob" <bob@example.com>',
    @copy_recipients = N'<Operations> ops@example.com',
    @blind_copy_recipients = N'audit@example.com; archive@example.com',
    @subject = N'Change window tonight',
    @message = N'The servers restart at 22:00.';
GO

-- Attachments: regular files on the server's disk, read with the service
-- account's rights when the mail is sent. Names beyond ASCII reach the
-- reader intact (RFC 2231).
EXEC master..mailvane
    @server = N'mail.example.com',
    @from = N'reports@example.com',
    @recipients = N'ann@example.com',
    @subject = N'Monthly report',
    @message = N'The report and its data are attached.',
    @attachments = N'D:\Reports\2024-05.pdf;D:\Reports\2024-05.csv';
GO

-- Authentication (AUTH PLAIN; without @tls the connection is not
-- encrypted, so use it only with a server on a trusted network).
EXEC master..mailvane
    @server = N'smtp.example.com',
    @user = N'reports',
    @pwd = N'secret',
    @from = N'reports@example.com',
    @recipients = N'ann@example.com',
    @subject = N'Authenticated',
    @message = N'Sent with a user name and password.';
GO

-- Another port: as text or as a number.
EXEC master..mailvane
    @server = N'10.0.0.25',
    @port = 2525,
    @from = N'reports@example.com',
    @recipients = N'ann@example.com',
    @subject = N'Through the relay',
    @message = N'Sent to port 2525.';
GO

-- STARTTLS on the submission port: EHLO, STARTTLS, and the rest (EHLO
-- again, AUTH PLAIN, the mail) inside TLS 1.2 or later. The certificate
-- must be trusted by the server's certificate store and name the server;
-- without STARTTLS, or with a certificate that fails, nothing is sent.
EXEC master..mailvane
    @server = N'smtp.example.com',
    @port = 587,
    @tls = N'starttls',
    @user = N'reports@example.com',
    @pwd = N'secret',
    @from = N'reports@example.com',
    @recipients = N'ann@example.com',
    @subject = N'Over STARTTLS',
    @message = N'Sent inside TLS.';
GO

-- Implicit TLS (port 465): TLS from the connect on, before the greeting.
EXEC master..mailvane
    @server = N'smtp.example.com',
    @port = 465,
    @tls = N'implicit',
    @user = N'reports@example.com',
    @pwd = N'secret',
    @from = N'reports@example.com',
    @recipients = N'ann@example.com',
    @subject = N'Over implicit TLS',
    @message = N'Sent inside TLS.';
GO

-- An internal relay with a self-signed certificate: encrypted, but the
-- certificate is not checked.
EXEC master..mailvane
    @server = N'relay.internal',
    @tls = N'starttls',
    @tls_verify = N'no',
    @from = N'reports@example.com',
    @recipients = N'ann@example.com',
    @subject = N'Through the internal relay',
    @message = N'Encrypted, certificate not checked.';
GO
