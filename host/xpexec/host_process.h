// What xpexec needs from the process it runs in: its arguments as UTF-8,
// standard streams that pass bytes unchanged, and whole files read by a
// UTF-8 name.
//
// On Windows the arguments come from the UTF-16 command line, so names
// and text outside the ANSI code page survive; elsewhere argv is taken as
// it is (UTF-8 under the locale xpexec uses).
#ifndef MAILVANE_HOST_XPEXEC_HOST_PROCESS_H
#define MAILVANE_HOST_XPEXEC_HOST_PROCESS_H

#include <cstdio>
#include <string>
#include <vector>

namespace xpexec {

// The arguments after the program name, as UTF-8.
std::vector<std::string> ArgumentsUtf8(int argc, char **argv);

// Standard input and output in binary mode: no CR LF translation.
void UseBinaryStandardStreams();

// Opens a file for reading by its UTF-8 name; null with errno on failure.
std::FILE *OpenForReading(const std::string &utf8_path);

}  // namespace xpexec

#endif
