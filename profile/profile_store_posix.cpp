// The Linux store: one file in the process user's configuration folder.
#include "profile/profile_store.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "charset/threads.h"
#include "profile/store_document.h"
#include "profile/store_texts.h"

namespace {

constexpr char kConfigFolder[] = "/.config";
constexpr char kStoreFolder[] = "/mailvane";
constexpr char kStoreFile[] = "/profiles.json";
constexpr char kTemporaryFile[] = "/profiles.json.new";
constexpr char kLockFile[] = "/profiles.lock";

constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;
// Bits that let the group or others at a file, or write into a folder.
constexpr mode_t kOthersAccess = 0077;
constexpr mode_t kOthersWrite = 0022;

// Far more than any number of profiles an administrator sets up; a larger
// file is no store of ours.
constexpr std::size_t kMaxStoreBytes = 4 * 1024 * 1024;
// How often a writer looks whether the lock is free.
constexpr int kLockPollMs = 10;
// getpwuid_r's room for the entry's strings.
constexpr std::size_t kPasswdBufferSize = 4096;

// Changes of this process wait here for each other; flock serialises them
// with the changes of other processes.
CLock g_changeLock;

struct CPaths {
  std::string folder, file, temporary, lock;
};

class CFd {
 public:
  explicit CFd(int fd = -1) : m_fd(fd) {}
  ~CFd() {
    if (m_fd >= 0) close(m_fd);
  }
  CFd(const CFd &) = delete;
  CFd &operator=(const CFd &) = delete;
  int Get() const { return m_fd; }

 private:
  int m_fd;
};

// The user's configuration folder (XDG Base Directory Specification: a
// relative XDG_CONFIG_HOME is ignored).
bool ConfigFolder(std::string &folder) {
  const char *xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    folder = xdg;
    return true;
  }
  const char *home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') {
    folder = std::string(home) + kConfigFolder;
    return true;
  }
  struct passwd entry;
  struct passwd *found = nullptr;
  std::vector<char> buffer(kPasswdBufferSize);
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] != '/')
    return false;
  folder = std::string(found->pw_dir) + kConfigFolder;
  return true;
}

bool Paths(CPaths &paths, std::string &text) {
  std::string config;
  if (!ConfigFolder(config)) {
    text = kTextStoreNowhere;
    return false;
  }
  paths.folder = config + kStoreFolder;
  paths.file = paths.folder + kStoreFile;
  paths.temporary = paths.folder + kTemporaryFile;
  paths.lock = paths.folder + kLockFile;
  return true;
}

// Only what the process's own user owns and no one else may change is
// used; a file others may read is refused too, since it holds secrets.
bool Trusted(const struct stat &st, const std::string &where, bool folder, std::string &text) {
  if (st.st_uid != geteuid()) {
    text = StoreOfAnotherUser(where);
    return false;
  }
  if (folder ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode)) {
    text = StoreCannotRead(where, folder ? ENOTDIR : EINVAL);
    return false;
  }
  if ((st.st_mode & (folder ? kOthersWrite : kOthersAccess)) != 0) {
    text = StoreOpenToOthers(where);
    return false;
  }
  return true;
}

bool TrustedFd(int fd, const std::string &where, std::string &text) {
  struct stat st;
  if (fstat(fd, &st) != 0) {
    text = StoreCannotRead(where, errno);
    return false;
  }
  return Trusted(st, where, false, text);
}

// The folder's state: false with the text for one that cannot be used;
// *missing tells that there is none.
bool TrustedFolder(const CPaths &paths, bool *missing, std::string &text) {
  struct stat st;
  *missing = false;
  if (stat(paths.folder.c_str(), &st) != 0) {
    *missing = errno == ENOENT;
    if (*missing) return true;
    text = StoreCannotRead(paths.folder, errno);
    return false;
  }
  return Trusted(st, paths.folder, true, text);
}

// The store as the file holds it; an empty one when there is no folder or
// no file.
bool ReadStore(const CPaths &paths, bool policyOnly, CProfileStore &store, std::string &text) {
  store = CProfileStore();
  bool missing = false;
  if (!TrustedFolder(paths, &missing, text)) return false;
  if (missing) return true;
  // A link in the file's place is refused (ELOOP): the store is the file.
  CFd fd(open(paths.file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.Get() < 0) {
    if (errno == ENOENT) return true;
    text = StoreCannotRead(paths.file, errno);
    return false;
  }
  if (!TrustedFd(fd.Get(), paths.file, text)) return false;
  CSecretString content;
  char chunk[4096];
  for (;;) {
    ssize_t n = read(fd.Get(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      SecureZero(chunk, sizeof chunk);
      text = StoreCannotRead(paths.file, errno);
      return false;
    }
    if (n == 0) break;
    content.append(chunk, static_cast<std::size_t>(n));
    if (content.size() > kMaxStoreBytes) {
      SecureZero(chunk, sizeof chunk);
      text = kTextStoreTooLarge;
      return false;
    }
  }
  SecureZero(chunk, sizeof chunk);
  int error = 0;
  switch (ReadStoreDocument(content, policyOnly, store, error)) {
    case DocumentRead::kOk:
      return true;
    case DocumentRead::kSecretUnsealed:
      text = StoreCannotOpenSecret(paths.file, error);
      return false;
    default:
      text = StoreMalformed(paths.file);
      return false;
  }
}

// The folder and those above it that are missing, each 0700.
bool MakeFolder(const std::string &folder, std::string &text) {
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (mkdir(part.c_str(), kFolderMode) != 0 && errno != EEXIST) {
      text = StoreCannotWrite(part, errno);
      return false;
    }
    if (slash == std::string::npos) return true;
  }
}

// Holds the lock file's flock until the scope ends (closing the file lets
// it go).
bool TakeLock(const CPaths &paths, CFd &fd, std::string &text) {
  if (fd.Get() < 0) {
    text = StoreCannotWrite(paths.lock, errno);
    return false;
  }
  if (!TrustedFd(fd.Get(), paths.lock, text)) return false;
  for (int waited = 0;; waited += kLockPollMs) {
    if (flock(fd.Get(), LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) {
      text = StoreCannotWrite(paths.lock, errno);
      return false;
    }
    if (waited >= kStoreLockWaitMs) {
      text = kTextStoreBusy;
      return false;
    }
    SleepMilliseconds(kLockPollMs);
  }
}

bool WriteAll(int fd, const CSecretString &bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// The whole store into the temporary file, flushed, then renamed over the
// store: a reader finds the old file or the new one, and a crash leaves
// one of them whole.
bool WriteStore(const CPaths &paths, const CProfileStore &store, std::string &text) {
  CSecretString document;
  int error = 0;
  if (!WriteStoreDocument(store, true, document, error)) {
    text = StoreCannotSealSecret(error);
    return false;
  }
  // One left by a writer that did not finish is no part of the store.
  if (unlink(paths.temporary.c_str()) != 0 && errno != ENOENT) {
    text = StoreCannotWrite(paths.temporary, errno);
    return false;
  }
  {
    CFd fd(open(paths.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                kFileMode));
    if (fd.Get() < 0 || !WriteAll(fd.Get(), document) || fsync(fd.Get()) != 0) {
      text = StoreCannotWrite(paths.temporary, errno);
      unlink(paths.temporary.c_str());
      return false;
    }
  }
  if (rename(paths.temporary.c_str(), paths.file.c_str()) != 0) {
    text = StoreCannotWrite(paths.file, errno);
    unlink(paths.temporary.c_str());
    return false;
  }
  // The rename itself reaches the disk with the folder.
  CFd folder(open(paths.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.Get() < 0 || fsync(folder.Get()) != 0) {
    text = StoreCannotWrite(paths.folder, errno);
    return false;
  }
  return true;
}

}  // namespace

namespace {

// Where no folder is named no store can have been written: it reads as
// empty.
bool Load(bool policyOnly, CProfileStore &store, std::string &text) {
  CPaths paths;
  store = CProfileStore();
  return !Paths(paths, text) || ReadStore(paths, policyOnly, store, text);
}

}  // namespace

bool LoadProfileStore(CProfileStore &store, std::string &text) { return Load(false, store, text); }

bool LoadProfilePolicy(CProfilePolicy &policy, std::string &text) {
  CProfileStore store;
  if (!Load(true, store, text)) return false;
  policy = store.policy;
  return true;
}

bool UpdateProfileStore(const StoreChanger &change, std::string &text) {
  CLockHold hold(g_changeLock);
  CPaths paths;
  bool missing = false;
  if (!Paths(paths, text) || !MakeFolder(paths.folder, text) ||
      !TrustedFolder(paths, &missing, text))
    return false;
  CFd lock(open(paths.lock.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, kFileMode));
  if (!TakeLock(paths, lock, text)) return false;
  CProfileStore store;
  if (!ReadStore(paths, false, store, text)) return false;
  CStoreChange changed;
  if (!change(store, changed, text)) return false;
  return WriteStore(paths, store, text);
}
