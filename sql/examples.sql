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
--   @user, @pwd    SMTP authentication; @pwd is the access token with
--                  @auth 'xoauth2' or 'oauthbearer'
--   @auth          'plain', 'login', 'xoauth2' or 'oauthbearer'; absent or '':
--                  PLAIN where the server offers it (or names no mechanism),
--                  else LOGIN where offered, else nothing is sent
--   @tls           'starttls' or 'implicit'; absent or '': no TLS
--   @tls_verify    'yes' (default): the server's certificate is checked;
--                  'no': any certificate is accepted
--   @oauth_token_url  https URL of an OAuth 2.0 token endpoint: a token is
--                  fetched there (client credentials) and @user
--                  authenticates with it; @pwd is then the client secret
--   @oauth_client_id  the client (application) id, with @oauth_token_url
--   @oauth_scope   the scope asked for       default 'https://outlook.office365.com/.default'
--   @trace         'yes': the dialogue with the server, one informational
--                  message (number 20002, severity 0) per line, before the
--                  result; credentials and the message's content never shown
--   @profile       a profile of mailvane_profile: server, TLS, credentials
--                  and sender from it; the caller may not give them
--   @timeout       whole seconds, 1 to 600: the limit of each connect and of
--                  every wait on the server and the token fetch; absent or
--                  '': 10 s per connect, 2 to 10 minutes per reply, 30 s for
--                  the token fetch
--   @raise         'yes': a failure's message has severity 16, not 1, and
--                  fails an Agent job step or sqlcmd -b
--   @message_id, @server_reply, @error   OUTPUT: the Message-ID, the
--                  server's last reply line, the failure text (NULL where
--                  there is none)
--   @rows          result rows as JSON (FOR JSON PATH): a table in the body
--                  (HTML in an HTML body, aligned text in a plain one; in an
--                  HTML body where it holds <!--rows-->, else before its
--                  </body>, else after the message); NULL: no rows
--   @rows_attachment  a file name: the rows as a CSV attachment (UTF-8 with
--                  a byte order mark) instead of in the body
--   @importance    'low', 'normal' or 'high'
--   @sensitivity   'normal', 'personal', 'private' or 'confidential'
--   @reply_to      where replies go, a list of the recipient forms
-- Any other name is refused ('Unknown parameter @body (did you mean
-- @message?)').
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
-- the result (or pass @raise = 'yes').

-- Profiles, the way to deploy: a sysadmin sets the server, TLS,
-- authentication and secret up once; callers name the profile and never
-- see the secret. (Set-up: run as sysadmin; mailvane_profile is granted to
-- no one.)
EXEC master..mailvane_profile
    @profile = N'alerts',
    @server = N'smtp.office365.com', @port = 587, @tls = N'starttls',
    @user = N'reports@contoso.com', @pwd = N'<client secret>',
    @oauth_token_url = N'https://login.microsoftonline.com/<tenant id>/oauth2/v2.0/token',
    @oauth_client_id = N'<application (client) id>',
    @from = N'Nightly Jobs <reports@contoso.com>',
    @allow = N'public';
-- A second account, tried when the first fails before the mail was sent.
EXEC master..mailvane_profile @profile = N'alerts', @account = 2,
    @server = N'relay.contoso.local', @port = 25;
-- Every call must name a profile, attachments only from D:\Reports (the
-- calls further down name their own server: this refuses them).
EXEC master..mailvane_profile @policy = N'require_profile', @value = N'yes';
EXEC master..mailvane_profile @policy = N'attachment_folders', @value = N'D:\Reports';
-- The profiles (never a secret) and the policy.
EXEC master..mailvane_profile;
GO

-- A call through the profile: @profile and @recipients suffice.
DECLARE @rc int;
EXEC @rc = master..mailvane
    @profile = N'alerts',
    @recipients = N'dba@contoso.com',
    @subject = N'Nightly load finished',
    @message = N'All 12 tables were loaded.';
IF @rc <> 0 PRINT 'the mail was not sent';
GO

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

-- A SQL Agent job step: the step fails, with the text in its history,
-- when the mail is not sent.
DECLARE @rc int;
EXEC @rc = master..mailvane
    @server = N'mail.example.com',
    @from = N'reports@example.com',
    @recipients = N'ops@example.com',
    @subject = N'Nightly load finished',
    @raise = 'yes';
IF ISNULL(@rc, 1) <> 0 THROW 50001, N'The mail was not sent.', 1;
GO

-- The outcome for a log table: the Message-ID, the relay's reply with its
-- queue id, or why it failed.
DECLARE @rc int, @id nvarchar(1000), @reply nvarchar(1000), @error nvarchar(4000);
EXEC @rc = master..mailvane
    @server = N'mail.example.com',
    @from = N'reports@example.com',
    @recipients = N'ann@example.com',
    @subject = N'Nightly load finished',
    @message_id = @id OUTPUT,
    @server_reply = @reply OUTPUT,
    @error = @error OUTPUT;
SELECT @rc AS rc, @id AS message_id, @reply AS server_reply, @error AS error;
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

-- Text in any script: nvarchar values (N'...' or nvarchar variables) are
-- sent in UTF-8 with every character; varchar values in the server's code
-- page. Addresses are ASCII either way. (This file is ASCII: the
-- characters are built with NCHAR.)
DECLARE @name nvarchar(20) = NCHAR(0x5C71) + NCHAR(0x7530);
DECLARE @to nvarchar(100) = @name + N' <yamada@example.com>, J' + NCHAR(0xFC) + N'rgen <jm@example.com>';
DECLARE @subject nvarchar(100) = N'Gr' + NCHAR(0xFC) + NCHAR(0xDF) + N'e, ' + @name + N' - 5 ' + NCHAR(0x20AC);
EXEC master..mailvane
    @server = N'mail.example.com',
    @from = N'reports@example.com',
    @recipients = @to,
    @subject = @subject,
    @message = @subject;
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

-- Authentication (AUTH PLAIN, or LOGIN where the server offers LOGIN and
-- not PLAIN; without @tls the connection is not encrypted, so use it only
-- with a server on a trusted network).
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
-- again, AUTH, the mail) inside TLS 1.2 or later. The certificate
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

-- Microsoft 365 with a token the procedure fetches (OAuth 2.0 client
-- credentials) and keeps until five minutes before it expires, for the
-- calls that give the same token URL, client id and secret. Once per
-- tenant (docs/microsoft365.md, step by step): an application registered in
-- Microsoft Entra ID with the application permission SMTP.SendAsApp (Office
-- 365 Exchange Online, admin consent given) and a client secret; its
-- service principal registered in Exchange Online (New-ServicePrincipal)
-- and given the mailbox (Add-MailboxPermission ... -AccessRights
-- FullAccess); SMTP AUTH enabled for the mailbox. @user is the mailbox,
-- @pwd the client secret; the token goes to the server through XOAUTH2
-- over STARTTLS on port 587, and is never shown in a message.
EXEC master..mailvane
    @server = N'smtp.office365.com',
    @port = 587,
    @tls = N'starttls',
    @user = N'reports@contoso.com',
    @pwd = N'<client secret>',
    @oauth_token_url = N'https://login.microsoftonline.com/<tenant id>/oauth2/v2.0/token',
    @oauth_client_id = N'<application (client) id>',
    @from = N'reports@contoso.com',
    @recipients = N'ann@contoso.com',
    @subject = N'Through Microsoft 365',
    @message = N'Sent with a token the procedure fetched.';
GO

-- Gmail: an app password of the account (two-step verification on), over
-- STARTTLS on port 587. Google issues no Gmail tokens through the client
-- credentials grant, so @oauth_token_url is not for Gmail.
EXEC master..mailvane
    @server = N'smtp.gmail.com',
    @port = 587,
    @tls = N'starttls',
    @user = N'reports@gmail.com',
    @pwd = N'<16-character app password>',
    @from = N'reports@gmail.com',
    @recipients = N'ann@example.com',
    @subject = N'Through Gmail',
    @message = N'Sent with an app password.';
GO

-- Microsoft 365 with a token of your own: STARTTLS on 587 and an OAuth 2.0
-- access token for
-- https://outlook.office365.com/.default, from an app registration granted
-- SMTP.SendAsApp whose service principal may send as the mailbox. The
-- token goes in @pwd; it is valid for about an hour.
DECLARE @access_token varchar(8000) = '...';
EXEC master..mailvane
    @server = N'smtp.office365.com',
    @port = 587,
    @tls = N'starttls',
    @user = N'reports@contoso.com',
    @pwd = @access_token,
    @auth = N'xoauth2',
    @from = N'reports@contoso.com',
    @recipients = N'ann@contoso.com',
    @subject = N'Through Microsoft 365',
    @message = N'Sent with an OAuth 2.0 token.';
GO

-- Gmail with an OAuth 2.0 access token for https://mail.google.com/
-- (OAUTHBEARER; 'xoauth2' works too).
DECLARE @gmail_token varchar(8000) = '...';
EXEC master..mailvane
    @server = N'smtp.gmail.com',
    @port = 465,
    @tls = N'implicit',
    @user = N'reports@example.com',
    @pwd = @gmail_token,
    @auth = N'oauthbearer',
    @from = N'reports@example.com',
    @recipients = N'ann@example.com',
    @subject = N'Through Gmail',
    @message = N'Sent with an OAuth 2.0 token.';
GO

-- Diagnosis: the whole dialogue as messages before the result, with every
-- wait on the relay limited to 20 seconds. The last line on success is the
-- relay's final reply, with its queue id ("< 250 2.0.0 Ok: queued as
-- 4F2A1C0D93"); on failure the lines above the failure text show the
-- server's own words ("< 535 5.7.139 Authentication unsuccessful, ...").
-- Passwords and tokens show as <credentials hidden>, the message only as
-- "<message: N bytes>".
EXEC master..mailvane
    @server = N'smtp.example.com',
    @port = 587,
    @tls = N'starttls',
    @user = N'reports@example.com',
    @pwd = N'secret',
    @from = N'reports@example.com',
    @recipients = N'ann@example.com',
    @subject = N'Traced',
    @message = N'Sent with a trace.',
    @trace = N'yes',
    @timeout = 20;
GO

-- A report: the rows of a query as a table in an HTML body. FOR JSON gives
-- NULL when the query has no rows; ISNULL turns that into "(no rows)".
-- Names with & and < and the dates arrive as they are; nulls are empty cells.
DECLARE @databases nvarchar(max) =
  (SELECT name AS [Database], state_desc AS [State],
          CAST(create_date AS date) AS [Created], log_reuse_wait_desc AS [Log wait],
          recovery_model_desc AS [Recovery]
   FROM sys.databases ORDER BY name FOR JSON PATH, INCLUDE_NULL_VALUES);
SET @databases = ISNULL(@databases, N'[]');
EXEC master..mailvane
    @server = N'mail.example.com',
    @from = N'reports@example.com',
    @recipients = N'dba@example.com',
    @subject = N'Databases',
    @type = N'text/html',
    @message = N'<html><body><p>Databases on this server:</p><!--rows--><p>-- the nightly job</p></body></html>',
    @rows = @databases;
GO

-- The same rows as a CSV attachment that Excel opens as it is, with a
-- plain body. A dotted alias gives a column of its own ("Backup.Last").
DECLARE @backups nvarchar(max) =
  (SELECT d.name AS [Database], MAX(b.backup_finish_date) AS [Backup.Last],
          CAST(MAX(b.backup_size) / 1048576 AS decimal(18, 1)) AS [Backup.MB]
   FROM sys.databases AS d
   LEFT JOIN msdb.dbo.backupset AS b ON b.database_name = d.name AND b.type = 'D'
   GROUP BY d.name ORDER BY d.name FOR JSON PATH);
EXEC master..mailvane
    @server = N'mail.example.com',
    @from = N'reports@example.com',
    @recipients = N'dba@example.com',
    @subject = N'Last full backups',
    @message = N'The last full backup of every database is attached.',
    @rows = @backups,
    @rows_attachment = N'backups.csv';
GO

-- A chart inline: the body refers to cid:<file name> of an attachment, which
-- is then shown in the mail (a multipart/related part) rather than below it.
-- The other attachment stays an attachment.
EXEC master..mailvane
    @server = N'mail.example.com',
    @from = N'reports@example.com',
    @recipients = N'ann@example.com',
    @subject = N'Load this week',
    @type = N'text/html',
    @message = N'<p>Load this week:</p><img src="cid:load.png" alt="load chart">',
    @attachments = N'D:\Reports\load.png;D:\Reports\load.xlsx';
GO

-- A high-importance alert, confidential, whose replies go to the help desk
-- rather than to the sending account.
EXEC master..mailvane
    @server = N'mail.example.com',
    @from = N'Nightly Jobs <jobs@example.com>',
    @recipients = N'dba@example.com',
    @subject = N'Log backup failed',
    @message = N'The log backup of Sales failed at 02:10; the log is 92 % full.',
    @importance = N'high',
    @sensitivity = N'confidential',
    @reply_to = N'Help Desk <help@example.com>';
GO
