// Wiping of credentials: memory that held a user name, a password, a client
// secret, a token or their encoded form is overwritten before it is
// released, through a volatile pointer so that the compiler cannot drop the
// stores as dead.
//
// CSecretString owns such a text: it is wiped when it is destroyed. Its
// builders reserve the final size first, because a string that grows
// moves to a new buffer and frees the old one unwiped. CWipeStringOnExit
// wipes a string someone else owns when a scope ends, however it ends.
#ifndef MAILVANE_MAIL_SECURE_ZERO_H
#define MAILVANE_MAIL_SECURE_ZERO_H

#include <cstddef>
#include <string>

inline void SecureZero(void *data, std::size_t length) {
  volatile unsigned char *p = static_cast<volatile unsigned char *>(data);
  while (length-- > 0) *p++ = 0;
}

// Overwrites the whole capacity of s, then empties it.
inline void SecureWipe(std::string &s) {
  s.resize(s.capacity());
  SecureZero(s.data(), s.size());
  s.clear();
}

class CSecretString {
 public:
  CSecretString() = default;
  ~CSecretString() { SecureWipe(m_text); }
  CSecretString(const CSecretString &) = delete;
  CSecretString &operator=(const CSecretString &) = delete;

  // Wipes what was held and makes room for capacity bytes, so that
  // appending up to that many never moves the text.
  void Reset(std::size_t capacity) {
    SecureWipe(m_text);
    m_text.reserve(capacity);
  }
  std::string &Text() { return m_text; }
  const std::string &Text() const { return m_text; }

 private:
  std::string m_text;
};

// Wipes a string that holds a secret when the scope ends, however it ends.
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
