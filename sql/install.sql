-- Registers the extended stored procedures of mailvane in master:
-- mailvane, which the members of the role mailvane_senders may run, and
-- mailvane_profile, which no one is granted (sysadmins run it).
--
-- Before running it, copy the mailvane.dll that matches the server to the
-- path in @dll below: the x64 DLL for a 64-bit SQL Server (every current
-- version), the x86 one for a 32-bit server. Run it as a member of
-- sysadmin: in SSMS, or sqlcmd -b -i install.sql.
--
-- It can run again: a procedure already registered is left as it is, with
-- every GRANT and DENY made on it since, and nothing is dropped. It ends
-- with a load check and the version of the DLL the server loaded.
--
-- The procedure runs inside the server process, under the server's service
-- account: it connects to SMTP servers and reads attachment files with that
-- account's rights. Grant it only to those who may do both.

USE master;
GO

-- The full path of mailvane.dll. NULL: the instance's Binn folder, as the
-- instance's registry value SQLBinRoot names it (read through
-- xp_instance_regread; no SERVERPROPERTY names the Binn folder).
DECLARE @dll nvarchar(260) = NULL;

SET NOCOUNT ON;
IF ISNULL(IS_SRVROLEMEMBER(N'sysadmin'), 0) <> 1
BEGIN
    RAISERROR(N'install.sql must run as a member of sysadmin; nothing was changed.', 16, 1);
    RETURN;
END;

IF @dll IS NULL
BEGIN
    DECLARE @binn nvarchar(260);
    EXEC master.dbo.xp_instance_regread N'HKEY_LOCAL_MACHINE',
        N'Software\Microsoft\MSSQLServer\Setup', N'SQLBinRoot', @binn OUTPUT;
    IF @binn IS NULL
    BEGIN
        RAISERROR(N'The registry names no Binn folder: set @dll in install.sql to the full path of mailvane.dll; nothing was changed.', 16, 1);
        RETURN;
    END;
    SET @dll = @binn + CASE WHEN RIGHT(@binn, 1) = N'\' THEN N'' ELSE N'\' END + N'mailvane.dll';
END;

-- sp_addextendedproc takes the path as varchar(255).
IF LEN(@dll) > 255
   OR CAST(CAST(CAST(@dll AS varchar(260)) AS nvarchar(260)) AS varbinary(520)) <> CAST(@dll AS varbinary(520))
BEGIN
    RAISERROR(N'The path of the DLL must be at most 255 characters of the server''s code page: %s; nothing was changed.', 16, 1, @dll);
    RETURN;
END;

DECLARE @registered nvarchar(4000) = (SELECT dll_name FROM sys.extended_procedures WHERE name = N'mailvane');
IF @registered IS NULL
BEGIN
    EXEC sp_addextendedproc N'mailvane', @dll;
    IF DATABASE_PRINCIPAL_ID(N'mailvane_senders') IS NULL
        CREATE ROLE mailvane_senders;
    -- Run as its own batch: it names what this batch has just made.
    EXEC (N'GRANT EXECUTE ON dbo.mailvane TO mailvane_senders;');
    PRINT N'Registered mailvane (' + @dll + N') and granted EXECUTE on it to the role mailvane_senders.';
    SET @registered = @dll;
END
ELSE
BEGIN
    PRINT N'mailvane is registered already (' + @registered + N'): left as it is, with its permissions.';
    IF @registered <> @dll
        PRINT N'It names another DLL than ' + @dll + N'; to register that one, run uninstall.sql, then this script.';
END;

-- From the DLL mailvane is registered with: one library, loaded once.
IF NOT EXISTS (SELECT 1 FROM sys.extended_procedures WHERE name = N'mailvane_profile')
BEGIN
    EXEC sp_addextendedproc N'mailvane_profile', @registered;
    PRINT N'Registered mailvane_profile (' + @registered + N'); only sysadmins may run it.';
END;

-- The load check: a call of one parameter gets the usage text (message
-- 20001, severity 1, shown below) and the result 1, without touching the
-- network. A DLL that does not load fails the EXEC itself.
PRINT N'Load check: the usage text below means that the DLL loaded.';
DECLARE @rc int = NULL, @number int, @text nvarchar(2048);
BEGIN TRY
    EXEC @rc = master.dbo.mailvane @server = N'x';
END TRY
BEGIN CATCH
    SELECT @number = ERROR_NUMBER(), @text = ERROR_MESSAGE();
    RAISERROR(N'The DLL did not load: error %d: %s (17750 with reason 126: the file, or one it needs, is missing; 193: the DLL does not match the server, x64 for a 64-bit server).', 16, 1, @number, @text);
    RETURN;
END CATCH;
IF @rc IS NULL OR @rc <> 1
BEGIN
    SET @text = ISNULL(CONVERT(nvarchar(12), @rc), N'no result');
    RAISERROR(N'The load check of mailvane gave %s instead of 1.', 16, 1, @text);
    RETURN;
END;

SET @text = NULL;
SELECT TOP (1) @text = name + N': file version ' + ISNULL(file_version, N'none')
                       + N', product version ' + ISNULL(product_version, N'none')
FROM sys.dm_os_loaded_modules
WHERE RIGHT(name, LEN(@registered)) = @registered;
PRINT N'Loaded ' + ISNULL(@text, @registered + N' (not found among the loaded modules)');
GO

-- Members are users of master. For a login that has none:
--   USE master;
--   CREATE USER [DOMAIN\reports] FOR LOGIN [DOMAIN\reports];
--   ALTER ROLE mailvane_senders ADD MEMBER [DOMAIN\reports];
-- (Before SQL Server 2012: EXEC sp_addrolemember N'mailvane_senders', N'DOMAIN\reports';)
