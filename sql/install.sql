-- Registers the extended stored procedure mailvane in master and lets the
-- members of the role mailvane_senders run it.
--
-- Before running this script (as a member of sysadmin):
--   1. Copy the mailvane.dll that matches the server into its Binn folder:
--      the x64 DLL for a 64-bit SQL Server (every current version), the x86
--      DLL for a 32-bit one. The Binn folder is that of the instance, for
--      example C:\Program Files\Microsoft SQL Server\MSSQL16.MSSQLSERVER\MSSQL\Binn.
--   2. Run this script. It can run again: it registers the procedure anew.
--
-- The procedure runs inside the server process, under the server's service
-- account: it connects to SMTP servers and reads attachment files with that
-- account's rights. Grant it only to those who may do both.

USE master;
GO

IF EXISTS (SELECT 1 FROM sys.extended_procedures WHERE name = N'mailvane')
    EXEC sp_dropextendedproc N'mailvane';
GO

-- A name without a folder is looked up in the Binn folder. A full path
-- (N'D:\Tools\mailvane.dll') registers a DLL kept elsewhere.
EXEC sp_addextendedproc N'mailvane', N'mailvane.dll';
GO

IF DATABASE_PRINCIPAL_ID(N'mailvane_senders') IS NULL
    CREATE ROLE mailvane_senders;
GO

GRANT EXECUTE ON dbo.mailvane TO mailvane_senders;
GO

-- mailvane_profile, the administration of the profiles, is the same DLL's
-- second procedure. It is registered only when it is not yet (a second run
-- changes nothing) and granted to no one: only sysadmins run it.
IF NOT EXISTS (SELECT 1 FROM sys.extended_procedures WHERE name = N'mailvane_profile')
    EXEC sp_addextendedproc N'mailvane_profile', N'mailvane.dll';
GO

-- Members are users of master. For a login that has none:
--   USE master;
--   CREATE USER [DOMAIN\reports] FOR LOGIN [DOMAIN\reports];
--   ALTER ROLE mailvane_senders ADD MEMBER [DOMAIN\reports];
