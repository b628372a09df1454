// Error codes of the mail's operations, in the 32-bit HRESULT form.
//
// 0 (S_OK) is success; every other value is a failure. Below the mail's
// operations everything reports 1/0; the operations turn a failure into a
// code from the thread's last platform error (HResultFromLastError). A
// failure that left no platform error is still a failure: HResultOfFailure
// gives E_FAIL for it, so a caller can never mistake it for success.
//
// This header is portable and must not meet the Windows headers in one
// translation unit: they define the same names as macros.
#ifndef MAILVANE_MAIL_ERROR_CODES_H
#define MAILVANE_MAIL_ERROR_CODES_H

#include <cstdint>

using HResult = std::int32_t;

inline constexpr HResult S_OK = 0;
inline constexpr HResult E_NOTIMPL = static_cast<HResult>(0x80004001u);
inline constexpr HResult E_FAIL = static_cast<HResult>(0x80004005u);
inline constexpr HResult E_INVALIDARG = static_cast<HResult>(0x80070057u);
inline constexpr HResult E_OUTOFMEMORY = static_cast<HResult>(0x8007000Eu);

// The HRESULT form of a platform error e: e itself when e <= 0, otherwise
// 0x80070000 with the low 16 bits of e.
HResult HResultFromError(std::int32_t e);

// HResultFromError of the calling thread's last platform error.
HResult HResultFromLastError();

// The code of a failed operation: HResultFromLastError, or E_FAIL when the
// failure left no platform error behind.
HResult HResultOfFailure();

#endif
