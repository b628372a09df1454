// Wiping of credentials: memory that held a user name, a password or their
// encoded form is overwritten before it is released, through a volatile
// pointer so that the compiler cannot drop the stores as dead. A secret
// that lives in a string lives in a CSecretString (mail/secret_string.h),
// which does this by itself; these are for the buffers of other types.
#ifndef MAILVANE_MAIL_SECURE_ZERO_H
#define MAILVANE_MAIL_SECURE_ZERO_H

#include <cstddef>
#include <string>

inline void SecureZero(void *data, std::size_t length) {
  volatile unsigned char *p = static_cast<volatile unsigned char *>(data);
  while (length-- > 0) *p++ = 0;
}

// Overwrites every element s can hold, inline or allocated, then empties
// it; the capacity stays, so the resize never allocates.
template <class Char, class Traits, class Allocator>
void SecureWipe(std::basic_string<Char, Traits, Allocator> &s) {
  s.resize(s.capacity());
  SecureZero(s.data(), s.size() * sizeof(Char));
  s.clear();
}

// Wipes a std::string someone else owns when a scope ends, however it ends:
// for the buffers a library fills that cannot be a CSecretString.
class CWipeStringOnExit {
 public:
  explicit CWipeStringOnExit(std::string &s) : m_s(s) {}
  ~CWipeStringOnExit() { SecureWipe(m_s); }
  CWipeStringOnExit(const CWipeStringOnExit &) = delete;
  CWipeStringOnExit &operator=(const CWipeStringOnExit &) = delete;

 private:
  std::string &m_s;
};

#endif
