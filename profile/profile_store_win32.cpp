// The Windows store: the registry of the account the process runs as.
#include "profile/profile_store.h"

#include <windows.h>

#include <vector>

#include "charset/threads.h"
#include "profile/store_document.h"
#include "profile/store_texts.h"

namespace {

constexpr wchar_t kStoreKey[] = L"Software\\mailvane\\Profiles";
constexpr char kStoreName[] = "HKEY_CURRENT_USER\\Software\\mailvane\\Profiles";
constexpr wchar_t kProfileValue[] = L"profile";
constexpr wchar_t kPolicyValue[] = L"policy";
// One name for every process of the session; the registry it guards is the
// account's own.
constexpr wchar_t kMutexName[] = L"Local\\mailvane-profile-store";

// A profile's key is its generation, zero-padded so that names sort.
constexpr int kGenerationDigits = 20;
constexpr DWORD kMaxKeyName = 64;
// As for the Linux file: far beyond any profile.
constexpr DWORD kMaxValueBytes = 4 * 1024 * 1024;
// A value that grows between asking its size and reading it is read again.
constexpr int kReadAttempts = 4;

CLock g_changeLock;

class CKey {
 public:
  CKey() = default;
  ~CKey() {
    if (m_key != nullptr) RegCloseKey(m_key);
  }
  CKey(const CKey &) = delete;
  CKey &operator=(const CKey &) = delete;
  HKEY *Out() { return &m_key; }
  HKEY Get() const { return m_key; }

 private:
  HKEY m_key = nullptr;
};

// Holds the named mutex that serialises the store's writers and full
// readers across processes.
class CStoreMutex {
 public:
  CStoreMutex() = default;
  ~CStoreMutex() {
    if (m_held) ReleaseMutex(m_mutex);
    if (m_mutex != nullptr) CloseHandle(m_mutex);
  }
  CStoreMutex(const CStoreMutex &) = delete;
  CStoreMutex &operator=(const CStoreMutex &) = delete;

  bool Take(std::string &text) {
    m_mutex = CreateMutexW(nullptr, FALSE, kMutexName);
    if (m_mutex == nullptr) {
      text = StoreCannotRead(kStoreName, static_cast<int>(GetLastError()));
      return false;
    }
    // An owner that ended without letting go leaves the registry as its
    // last whole step left it: each step is one key or one value.
    DWORD waited = WaitForSingleObject(m_mutex, kStoreLockWaitMs);
    m_held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    if (!m_held) text = kTextStoreBusy;
    return m_held;
  }

 private:
  HANDLE m_mutex = nullptr;
  bool m_held = false;
};

std::string KeyName(const std::wstring &key) {
  return std::string(kStoreName) + "\\" + std::string(key.begin(), key.end());
}

// The store's key; *missing when there is none (reading only).
bool OpenStore(bool write, CKey &store, bool *missing, std::string &text) {
  *missing = false;
  CKey user;
  const REGSAM access = write ? KEY_READ | KEY_WRITE : KEY_READ;
  LONG status = RegOpenCurrentUser(access, user.Out());
  if (status == ERROR_SUCCESS) {
    status = write ? RegCreateKeyExW(user.Get(), kStoreKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     access, nullptr, store.Out(), nullptr)
                   : RegOpenKeyExW(user.Get(), kStoreKey, 0, access, store.Out());
  }
  if (status == ERROR_SUCCESS) return true;
  if (!write && status == ERROR_FILE_NOT_FOUND) {
    *missing = true;
    return true;
  }
  text = write ? StoreCannotWrite(kStoreName, static_cast<int>(status))
               : StoreCannotRead(kStoreName, static_cast<int>(status));
  return false;
}

// A REG_BINARY value into out; ERROR_FILE_NOT_FOUND when there is none.
LONG ReadValue(HKEY key, const wchar_t *name, CSecretString &out) {
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    DWORD type = 0, size = 0;
    LONG status = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS) return status;
    if (type != REG_BINARY) return ERROR_INVALID_DATA;
    if (size > kMaxValueBytes) return ERROR_FILE_TOO_LARGE;
    out.assign(size, '\0');
    status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(out.data()),
                              &size);
    if (status == ERROR_MORE_DATA) continue;
    if (status == ERROR_SUCCESS) out.resize(size);
    return status;
  }
  return ERROR_MORE_DATA;
}

bool ReadDocument(CSecretString &value, bool policyOnly, const std::string &where,
                  CProfileStore &store, std::string &text) {
  int error = 0;
  switch (ReadStoreDocument(value, policyOnly, store, error)) {
    case DocumentRead::kOk:
      return true;
    case DocumentRead::kSecretUnsealed:
      text = StoreCannotOpenSecret(where, error);
      return false;
    default:
      text = StoreMalformed(where);
      return false;
  }
}

bool ReadPolicy(HKEY store, CProfilePolicy &policy, std::string &text) {
  CSecretString value;
  LONG status = ReadValue(store, kPolicyValue, value);
  if (status == ERROR_FILE_NOT_FOUND) return true;
  if (status != ERROR_SUCCESS) {
    text = StoreCannotRead(kStoreName, static_cast<int>(status));
    return false;
  }
  CProfileStore document;
  if (!ReadDocument(value, true, kStoreName, document, text)) return false;
  policy = document.policy;
  return true;
}

// A key of the store: its name, generation and the profile it holds ("":
// none, a write cut short).
struct CProfileKey {
  std::wstring name;
  unsigned long long generation = 0;
  std::string profile;
};

bool Generation(const wchar_t *name, DWORD length, unsigned long long *generation) {
  if (length != kGenerationDigits) return false;
  *generation = 0;
  for (DWORD i = 0; i < length; ++i) {
    if (name[i] < L'0' || name[i] > L'9') return false;
    *generation = *generation * 10 + static_cast<unsigned>(name[i] - L'0');
  }
  return true;
}

// Every profile key into keys, and the newest profile of each name into
// store.
bool ReadProfiles(HKEY store, CProfileStore &profiles, std::vector<CProfileKey> &keys,
                  std::string &text) {
  for (DWORD index = 0;; ++index) {
    wchar_t name[kMaxKeyName];
    DWORD length = kMaxKeyName;
    LONG status = RegEnumKeyExW(store, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return true;
    if (status == ERROR_MORE_DATA) continue;  // no key of ours
    if (status != ERROR_SUCCESS) {
      text = StoreCannotRead(kStoreName, static_cast<int>(status));
      return false;
    }
    CProfileKey key;
    if (!Generation(name, length, &key.generation)) continue;
    key.name.assign(name, length);
    CKey sub;
    CSecretString value;
    status = RegOpenKeyExW(store, key.name.c_str(), 0, KEY_READ, sub.Out());
    if (status == ERROR_SUCCESS) status = ReadValue(sub.Get(), kProfileValue, value);
    if (status == ERROR_FILE_NOT_FOUND) {
      keys.push_back(std::move(key));
      continue;
    }
    if (status != ERROR_SUCCESS) {
      text = StoreCannotRead(KeyName(key.name), static_cast<int>(status));
      return false;
    }
    CProfileStore document;
    if (!ReadDocument(value, false, KeyName(key.name), document, text)) return false;
    if (document.profiles.size() != 1) {
      text = StoreMalformed(KeyName(key.name));
      return false;
    }
    CProfile &profile = document.profiles.front();
    key.profile = profile.name;
    bool newest = true;
    for (const CProfileKey &other : keys)
      if (!other.profile.empty() && SameProfileName(other.profile, profile.name) &&
          other.generation > key.generation)
        newest = false;
    if (newest) profiles.Put(std::move(profile));
    keys.push_back(std::move(key));
  }
}

std::wstring NewKeyName(const std::vector<CProfileKey> &keys) {
  unsigned long long next = 1;
  for (const CProfileKey &key : keys)
    if (key.generation >= next) next = key.generation + 1;
  std::wstring name(kGenerationDigits, L'0');
  for (int i = kGenerationDigits - 1; i >= 0 && next != 0; --i, next /= 10)
    name[static_cast<std::size_t>(i)] = static_cast<wchar_t>(L'0' + next % 10);
  return name;
}

LONG SetValue(HKEY key, const wchar_t *name, const CSecretString &document) {
  LONG status = RegSetValueExW(key, name, 0, REG_BINARY,
                               reinterpret_cast<const BYTE *>(document.data()),
                               static_cast<DWORD>(document.size()));
  return status == ERROR_SUCCESS ? RegFlushKey(key) : status;
}

bool WritePolicy(HKEY store, const CProfilePolicy &policy, std::string &text) {
  CProfileStore document;
  document.policy = policy;
  CSecretString value;
  int error = 0;
  if (!WriteStoreDocument(document, true, value, error)) {
    text = StoreCannotSealSecret(error);
    return false;
  }
  LONG status = SetValue(store, kPolicyValue, value);
  if (status == ERROR_SUCCESS) return true;
  text = StoreCannotWrite(kStoreName, static_cast<int>(status));
  return false;
}

// The profile of this name as store now holds it (or none): a new key
// written whole first, then every older key of that name (and those a cut
// write left empty) removed.
bool WriteProfile(HKEY store, const CProfileStore &profiles, const std::string &name,
                  const std::vector<CProfileKey> &keys, std::string &text) {
  if (const CProfile *profile = profiles.Find(name)) {
    CProfileStore document;
    document.profiles.push_back(*profile);
    CSecretString value;
    int error = 0;
    if (!WriteStoreDocument(document, false, value, error)) {
      text = StoreCannotSealSecret(error);
      return false;
    }
    const std::wstring keyName = NewKeyName(keys);
    CKey key;
    LONG status = RegCreateKeyExW(store, keyName.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_WRITE, nullptr, key.Out(), nullptr);
    if (status == ERROR_SUCCESS) status = SetValue(key.Get(), kProfileValue, value);
    if (status != ERROR_SUCCESS) {
      text = StoreCannotWrite(KeyName(keyName), static_cast<int>(status));
      return false;
    }
  }
  for (const CProfileKey &key : keys) {
    if (!key.profile.empty() && !SameProfileName(key.profile, name)) continue;
    LONG status = RegDeleteKeyW(store, key.name.c_str());
    // An old key left behind is never read (a newer one of its name is),
    // and the next change removes it; a profile to remove must go.
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND &&
        profiles.Find(name) == nullptr && !key.profile.empty()) {
      text = StoreCannotWrite(KeyName(key.name), static_cast<int>(status));
      return false;
    }
  }
  return true;
}

}  // namespace

bool LoadProfileStore(CProfileStore &store, std::string &text) {
  store = CProfileStore();
  CStoreMutex mutex;
  CKey key;
  bool missing = false;
  if (!mutex.Take(text) || !OpenStore(false, key, &missing, text)) return false;
  if (missing) return true;
  std::vector<CProfileKey> keys;
  if (!ReadProfiles(key.Get(), store, keys, text) || !ReadPolicy(key.Get(), store.policy, text)) {
    store = CProfileStore();
    return false;
  }
  return true;
}

// One value, written whole by one call: no lock is needed to read it.
bool LoadProfilePolicy(CProfilePolicy &policy, std::string &text) {
  policy = CProfilePolicy();
  CKey key;
  bool missing = false;
  if (!OpenStore(false, key, &missing, text)) return false;
  return missing || ReadPolicy(key.Get(), policy, text);
}

bool UpdateProfileStore(const StoreChanger &change, std::string &text) {
  CLockHold hold(g_changeLock);
  CStoreMutex mutex;
  CKey key;
  bool missing = false;
  if (!mutex.Take(text) || !OpenStore(true, key, &missing, text)) return false;
  CProfileStore store;
  std::vector<CProfileKey> keys;
  if (!ReadProfiles(key.Get(), store, keys, text) || !ReadPolicy(key.Get(), store.policy, text))
    return false;
  CStoreChange changed;
  if (!change(store, changed, text)) return false;
  if (changed.policy) return WritePolicy(key.Get(), store.policy, text);
  if (changed.profile.empty()) return true;
  return WriteProfile(key.Get(), store, changed.profile, keys, text);
}
