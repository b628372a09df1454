// A directory of test files under the system's temporary directory,
// created with a unique name and removed with everything in it when the
// object goes away.
#ifndef MAILVANE_TESTS_SUPPORT_TEMP_FILES_H
#define MAILVANE_TESTS_SUPPORT_TEMP_FILES_H

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

class CTempDir {
 public:
  CTempDir();
  ~CTempDir();
  CTempDir(const CTempDir &) = delete;
  CTempDir &operator=(const CTempDir &) = delete;

  // Writes bytes to the file name inside the directory; returns its path
  // in the platform's form.
  std::string Write(const std::string &name, const std::string &bytes) const;
  std::string PathOf(const std::string &name) const;
  const std::filesystem::path &Root() const { return m_root; }

 private:
  std::filesystem::path m_root;
};

// length pseudo-random bytes from seed, the same on every platform.
std::string RandomBytes(std::size_t length, std::uint32_t seed);

#endif
