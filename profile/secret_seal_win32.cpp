#include "profile/secret_seal.h"

#include <windows.h>
#include <dpapi.h>

#include "mail/secure_zero.h"

namespace {

// Mixed into every blob, so that a blob of another program of the same
// account does not open as a secret of the store, nor one of ours there.
constexpr char kEntropy[] = "mailvane profile store secret, v1";
constexpr char kHexDigits[] = "0123456789abcdef";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

DATA_BLOB Blob(const void *data, std::size_t size) {
  DATA_BLOB blob;
  blob.pbData = static_cast<BYTE *>(const_cast<void *>(data));
  blob.cbData = static_cast<DWORD>(size);
  return blob;
}

// What DPAPI allocated, wiped and freed however the scope ends.
class CDpapiOutput {
 public:
  CDpapiOutput() { m_blob.pbData = nullptr, m_blob.cbData = 0; }
  ~CDpapiOutput() {
    if (m_blob.pbData == nullptr) return;
    SecureZero(m_blob.pbData, m_blob.cbData);
    LocalFree(m_blob.pbData);
  }
  CDpapiOutput(const CDpapiOutput &) = delete;
  CDpapiOutput &operator=(const CDpapiOutput &) = delete;
  DATA_BLOB *Get() { return &m_blob; }

 private:
  DATA_BLOB m_blob;
};

}  // namespace

bool SealSecret(std::string_view secret, CSecretString &sealed, int &error) {
  error = 0;
  DATA_BLOB in = Blob(secret.data(), secret.size());
  DATA_BLOB entropy = Blob(kEntropy, sizeof kEntropy - 1);
  CDpapiOutput out;
  if (!CryptProtectData(&in, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                        out.Get())) {
    error = static_cast<int>(GetLastError());
    return false;
  }
  sealed.clear();
  sealed.reserve(2 * out.Get()->cbData);
  for (DWORD i = 0; i < out.Get()->cbData; ++i) {
    sealed.push_back(kHexDigits[out.Get()->pbData[i] >> 4]);
    sealed.push_back(kHexDigits[out.Get()->pbData[i] & 0x0F]);
  }
  return true;
}

bool OpenSecret(std::string_view sealed, CSecretString &secret, int &error) {
  error = ERROR_INVALID_DATA;
  if (sealed.size() % 2 != 0) return false;
  CSecretString blob;
  blob.reserve(sealed.size() / 2);
  for (std::size_t i = 0; i < sealed.size(); i += 2) {
    const int high = HexValue(sealed[i]), low = HexValue(sealed[i + 1]);
    if (high < 0 || low < 0) return false;
    blob.push_back(static_cast<char>(high << 4 | low));
  }
  DATA_BLOB in = Blob(blob.data(), blob.size());
  DATA_BLOB entropy = Blob(kEntropy, sizeof kEntropy - 1);
  CDpapiOutput out;
  if (!CryptUnprotectData(&in, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                          out.Get())) {
    error = static_cast<int>(GetLastError());
    return false;
  }
  error = 0;
  secret.assign(reinterpret_cast<const char *>(out.Get()->pbData), out.Get()->cbData);
  return true;
}
