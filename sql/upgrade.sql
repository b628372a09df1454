-- Replaces the DLL of mailvane in place: the registrations and every
-- permission on them stay as they are. As a member of sysadmin:
--   1. Run this script: it unloads mailvane.dll (DBCC mailvane (FREE)), so
--      that the server lets go of the file, and names the file.
--   2. Copy the new mailvane.dll (x64 or x86, as before) over that file. A
--      call made in between loads the old file again and the copy fails:
--      run this script again, when nothing sends mail.
--   3. Run install.sql: finding the procedures registered, it leaves them
--      and their permissions as they are, registers what the new version
--      adds, and ends with the load check and the version now loaded.

USE master;
GO

SET NOCOUNT ON;
IF ISNULL(IS_SRVROLEMEMBER(N'sysadmin'), 0) <> 1
BEGIN
    RAISERROR(N'upgrade.sql must run as a member of sysadmin; nothing was changed.', 16, 1);
    RETURN;
END;
DECLARE @registered nvarchar(4000) = (SELECT dll_name FROM sys.extended_procedures WHERE name = N'mailvane');
IF @registered IS NULL
BEGIN
    RAISERROR(N'mailvane is not registered: run install.sql instead.', 16, 1);
    RETURN;
END;

DBCC mailvane (FREE) WITH NO_INFOMSGS;
PRINT N'Unloaded ' + @registered + N' (a name without a folder is in the instance''s Binn folder).';
PRINT N'Now copy the new mailvane.dll over that file, then run install.sql for the load check and the version.';
GO
