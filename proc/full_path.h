// Paths as the file system resolves them, for the policy's attachment
// folders: the full path of a file or folder with "." and ".." resolved and
// every link followed, whether one path lies inside a folder, and which
// paths name a network share.
//
// Linux resolves with realpath; Windows opens the name without asking for
// any access (a folder too) and asks the handle for its final path
// (GetFinalPathNameByHandleW), so a junction or a symbolic link gives its
// target, in the \\?\ form. Names are caller text of a source
// (charset/system_name.h); a full path comes back as UTF-8 on Windows and
// as the system's bytes on Linux. Failures report the platform's error
// code and nothing else.
#ifndef MAILVANE_PROC_FULL_PATH_H
#define MAILVANE_PROC_FULL_PATH_H

#include <string>

#include "charset/text_source.h"

bool FullPath(const std::string &name, TextSource source, std::string &full, int &error);

// True when full names folder or lies below it (both full paths); Windows
// compares without case, as its file systems do.
bool PathWithin(const std::string &full, const std::string &folder);

// A name that may make the system reach another host: on Windows one that
// begins with two separators (\\server\share, \\?\..., \\.\...); on Linux
// none.
bool IsNetworkPath(const std::string &name);

// A full path (of FullPath) that lies on a share: \\?\UNC\... on Windows,
// as a mapped drive resolves; on Linux none.
bool FullPathOnShare(const std::string &full);

// A name that is a full path on this system: "/..." on Linux, "X:\..." or
// "\\..." on Windows.
bool IsFullPathName(const std::string &name);

#endif
