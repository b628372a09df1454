// mailvane_profile: the administration of the profile store, for
// sysadmins (sql/install.sql grants it to no one).
//
//   @profile = N'name', [@account = N,] settings...   creates the profile,
//       or its account N (1 to 8, default 1), or replaces it; @from and
//       @allow belong to the profile (kept when not given), the rest
//       (@server, @port, @tls, @tls_verify, @auth, @user, @pwd,
//       @oauth_token_url, @oauth_client_id, @oauth_scope, @timeout) to the
//       account, which the call sets whole. A new profile needs @allow and
//       @server.
//   @profile = N'name', [@account = N,] @delete = 'yes'   removes the
//       profile, or one account of it (not its last).
//   @policy = N'require_profile' | 'attachment_folders' | 'allow_unc',
//       @value = ...   sets the server-wide policy ('' restores its
//       default).
//   no @profile, no @policy   lists the store: one row per account
//       (profile, account, server, port, tls, tls_verify, auth, user,
//       oauth_token_url, oauth_client_id, oauth_scope, timeout, from, allow,
//       secret_set: 'yes' or 'no', never the secret), then a second result
//       set of the policy (policy, value: what is in force).
//
// Parameters are taken by name only; any other name, a value without a
// name, or a varchar value beyond ASCII (the store keeps Unicode text:
// pass such text as nvarchar) is refused. Every value is checked by the
// rules and texts a call of mailvane uses for it (call_options.h). A
// refusal is message 20001 at line 252 and changes nothing; a change is
// answered by a DONE alone.
#ifndef MAILVANE_PROC_PROFILE_ADMIN_H
#define MAILVANE_PROC_PROFILE_ADMIN_H

struct CXPData;

// Runs one call; true when it did what it was asked.
bool RunProfileAdmin(CXPData *srvproc);

#endif
