-- Removes the extended stored procedures of mailvane from master, unloads
-- the DLL so that its file can be deleted or replaced, and drops the role
-- mailvane_senders when it has no members. Run it as a member of sysadmin.
-- It says what it leaves: the role while it has members, and the users in
-- master that are its members (made for them, perhaps, but not by it).

USE master;
GO

SET NOCOUNT ON;
IF ISNULL(IS_SRVROLEMEMBER(N'sysadmin'), 0) <> 1
BEGIN
    RAISERROR(N'uninstall.sql must run as a member of sysadmin; nothing was changed.', 16, 1);
    RETURN;
END;

-- Dropping a procedure drops every permission on it.
IF EXISTS (SELECT 1 FROM sys.extended_procedures WHERE name = N'mailvane')
    EXEC sp_dropextendedproc N'mailvane';
IF EXISTS (SELECT 1 FROM sys.extended_procedures WHERE name = N'mailvane_profile')
    EXEC sp_dropextendedproc N'mailvane_profile';

GO

-- The server keeps a DLL it has loaded until told to let it go.
DBCC mailvane (FREE) WITH NO_INFOMSGS;

DECLARE @role int = DATABASE_PRINCIPAL_ID(N'mailvane_senders'), @members nvarchar(max) = NULL;
SELECT @members = ISNULL(@members + N', ', N'') + QUOTENAME(USER_NAME(member_principal_id))
FROM sys.database_role_members WHERE role_principal_id = @role;
IF @role IS NOT NULL AND @members IS NULL
BEGIN
    DROP ROLE mailvane_senders;
    PRINT N'Dropped the role mailvane_senders.';
END
ELSE IF @role IS NOT NULL
BEGIN
    PRINT N'Kept the role mailvane_senders: it has members, users in master that this script leaves as they are: ' + @members + N'.';
    PRINT N'Remove them with ALTER ROLE mailvane_senders DROP MEMBER [name]; (sp_droprolemember before SQL Server 2012; DROP USER [name]; for a user made only for mail), then DROP ROLE mailvane_senders;';
END;
PRINT N'Removed mailvane and mailvane_profile from master.';
GO
