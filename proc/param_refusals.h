// The ends of the texts that refuse a parameter's value by its name: the
// same for a call of mailvane and of mailvane_profile.
#ifndef MAILVANE_PROC_PARAM_REFUSALS_H
#define MAILVANE_PROC_PARAM_REFUSALS_H

inline constexpr char kTextNul[] = " can not contain a NUL character.";
inline constexpr char kTextInvalidUtf16[] = " can not contain invalid UTF-16.";
inline constexpr char kTextOutsideCodePage[] =
    " can not contain a character outside the ANSI code page.";

#endif
