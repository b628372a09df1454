// HMAC-SHA-256 through BCrypt: the SHA-256 provider opened for HMAC, a
// hash object in memory of ours (wiped before it goes), the key given at
// creation. The provider is opened per hash: no handle outlives the call,
// so nothing is left behind when the DLL is unloaded.
#include "oauth/keyed_hash.h"

#include <windows.h>
#include <bcrypt.h>

#include <vector>

#include "mail/secure_zero.h"

namespace {

// Failure is any negative status (NT_SUCCESS is not in the SDK's user
// headers).
bool Succeeded(NTSTATUS status) { return status >= 0; }

class CAlgorithm {
 public:
  CAlgorithm() {
    if (!Succeeded(BCryptOpenAlgorithmProvider(&m_handle, BCRYPT_SHA256_ALGORITHM, nullptr,
                                               BCRYPT_ALG_HANDLE_HMAC_FLAG)))
      m_handle = nullptr;
  }
  ~CAlgorithm() {
    if (m_handle != nullptr) BCryptCloseAlgorithmProvider(m_handle, 0);
  }
  CAlgorithm(const CAlgorithm &) = delete;
  CAlgorithm &operator=(const CAlgorithm &) = delete;
  BCRYPT_ALG_HANDLE Get() const { return m_handle; }

 private:
  BCRYPT_ALG_HANDLE m_handle = nullptr;
};

// The hash object's memory: it holds the key's pads and the data's
// blocks, so it is wiped before it is released.
class CHashObject {
 public:
  explicit CHashObject(ULONG size) : m_bytes(size) {}
  ~CHashObject() { SecureZero(m_bytes.data(), m_bytes.size()); }
  CHashObject(const CHashObject &) = delete;
  CHashObject &operator=(const CHashObject &) = delete;
  PUCHAR Data() { return m_bytes.data(); }
  ULONG Size() const { return static_cast<ULONG>(m_bytes.size()); }

 private:
  std::vector<UCHAR> m_bytes;
};

bool Compute(const unsigned char *key, std::size_t keySize, std::string_view data,
             unsigned char (&out)[kKeyedHashSize]) {
  if (keySize > MAXDWORD || data.size() > MAXDWORD) return false;
  CAlgorithm algorithm;
  if (algorithm.Get() == nullptr) return false;
  DWORD objectSize = 0;
  ULONG got = 0;
  if (!Succeeded(BCryptGetProperty(algorithm.Get(), BCRYPT_OBJECT_LENGTH,
                                   reinterpret_cast<PUCHAR>(&objectSize), sizeof objectSize, &got,
                                   0)))
    return false;
  CHashObject object(objectSize);
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!Succeeded(BCryptCreateHash(algorithm.Get(), &hash, object.Data(), object.Size(),
                                  const_cast<PUCHAR>(key), static_cast<ULONG>(keySize), 0)))
    return false;
  const bool done =
      Succeeded(BCryptHashData(hash,
                               reinterpret_cast<PUCHAR>(const_cast<char *>(data.data())),
                               static_cast<ULONG>(data.size()), 0)) &&
      Succeeded(BCryptFinishHash(hash, out, kKeyedHashSize, 0));
  BCryptDestroyHash(hash);
  return done;
}

}  // namespace

bool KeyedHash(const unsigned char *key, std::size_t keySize, std::string_view data,
               unsigned char (&out)[kKeyedHashSize]) {
  const bool done = Compute(key, keySize, data, out);
  if (!done) SecureZero(out, sizeof out);
  return done;
}
