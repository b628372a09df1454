// CSecretString: the one type that holds a secret in memory: a password,
// a user name sent with it, a token, a client secret, an encoded credential
// block or the AUTH line made of it.
//
// It is a std::basic_string whose every buffer is wiped before it is
// released. Its allocator overwrites each block it frees: the old buffer
// when the string grows, the last one when the string goes. Its destructor
// overwrites the inline buffer of a short string, which never reaches the
// allocator, and the unused tail of a long one. Copies, moves, swaps and
// assignments between CSecretStrings therefore leave nothing behind.
//
// Rules for code that handles a secret:
// - keep it in a CSecretString from the first copy on (CSecretU16String for
//   UTF-16 text); never in a std::string, a std::vector or a temporary of
//   the base type (substr and operator+ give one: do not use them on a
//   secret);
// - where a platform call needs a buffer of another type (a stack array, a
//   std::string filled by a conversion), wipe that buffer with SecureZero
//   or SecureWipe (mail/secure_zero.h) before it goes, on every path;
// - pass a secret on as a std::string_view or as data()/size(), never by
//   converting it to a std::string;
// - a secret never reaches a text, a trace or a log.
//
// Wiping costs one pass over the bytes freed; long values (an OAuth token
// of several kilobytes) cost nothing that matters beside the network.
#ifndef MAILVANE_MAIL_SECRET_STRING_H
#define MAILVANE_MAIL_SECRET_STRING_H

#include <cstddef>
#include <memory>
#include <string>

#include "mail/secure_zero.h"

// The allocator of CSecretString: std::allocator's memory, wiped on the way
// back.
template <class T>
class CWipingAllocator {
 public:
  using value_type = T;

  CWipingAllocator() noexcept = default;
  template <class U>
  CWipingAllocator(const CWipingAllocator<U> &) noexcept {}

  T *allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
  void deallocate(T *p, std::size_t n) noexcept {
    SecureZero(p, n * sizeof(T));
    std::allocator<T>().deallocate(p, n);
  }

  // Stateless: any one frees what another allocated.
  template <class U>
  bool operator==(const CWipingAllocator<U> &) const noexcept {
    return true;
  }
};

template <class Char>
class CSecretText
    : public std::basic_string<Char, std::char_traits<Char>, CWipingAllocator<Char>> {
  using Base = std::basic_string<Char, std::char_traits<Char>, CWipingAllocator<Char>>;

 public:
  using Base::Base;
  using Base::operator=;
  CSecretText() = default;
  CSecretText(const CSecretText &) = default;
  CSecretText(CSecretText &&) noexcept = default;
  CSecretText &operator=(const CSecretText &) = default;
  CSecretText &operator=(CSecretText &&) noexcept = default;
  ~CSecretText() { Wipe(); }

  // Overwrites every element the string can hold, inline or allocated, and
  // empties it; the capacity stays.
  void Wipe() noexcept { SecureWipe(static_cast<Base &>(*this)); }
};

using CSecretString = CSecretText<char>;
using CSecretU16String = CSecretText<char16_t>;

#endif
