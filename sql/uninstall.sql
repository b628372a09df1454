-- Removes the extended stored procedures mailvane and mailvane_profile and
-- their role from master, and unloads the DLL so that its file in the Binn
-- folder can be deleted or replaced. Run as a member of sysadmin.

USE master;
GO

IF EXISTS (SELECT 1 FROM sys.extended_procedures WHERE name = N'mailvane')
BEGIN
    IF DATABASE_PRINCIPAL_ID(N'mailvane_senders') IS NOT NULL
        REVOKE EXECUTE ON dbo.mailvane FROM mailvane_senders;
    EXEC sp_dropextendedproc N'mailvane';
END
GO

IF EXISTS (SELECT 1 FROM sys.extended_procedures WHERE name = N'mailvane_profile')
    EXEC sp_dropextendedproc N'mailvane_profile';
GO

-- The server keeps a DLL it has loaded until told to let it go.
DBCC mailvane (FREE);
GO

-- The role goes once it has no members left; list them with
--   SELECT USER_NAME(member_principal_id) FROM sys.database_role_members
--   WHERE role_principal_id = DATABASE_PRINCIPAL_ID(N'mailvane_senders');
IF DATABASE_PRINCIPAL_ID(N'mailvane_senders') IS NOT NULL
   AND NOT EXISTS (SELECT 1 FROM sys.database_role_members
                   WHERE role_principal_id = DATABASE_PRINCIPAL_ID(N'mailvane_senders'))
    DROP ROLE mailvane_senders;
GO
