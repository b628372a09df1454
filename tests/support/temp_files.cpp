#include "tests/support/temp_files.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <stdexcept>

namespace {

std::atomic<unsigned> g_counter{0};

}  // namespace

CTempDir::CTempDir() {
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path candidate =
        std::filesystem::temp_directory_path() /
        ("mailvane-test-" + std::to_string(stamp) + "-" + std::to_string(g_counter++));
    if (std::filesystem::create_directory(candidate)) {
      m_root = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary directory");
}

CTempDir::~CTempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(m_root, ignored);
}

std::string CTempDir::PathOf(const std::string &name) const { return (m_root / name).string(); }

std::string CTempDir::Write(const std::string &name, const std::string &bytes) const {
  std::string path = PathOf(name);
  std::ofstream out(m_root / name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
  return path;
}

std::string RandomBytes(std::size_t length, std::uint32_t seed) {
  // xorshift32: fixed, so a failing size can be reproduced anywhere.
  std::uint32_t x = seed != 0 ? seed : 0x9E3779B9u;
  std::string bytes(length, '\0');
  for (char &c : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x & 0xFF);
  }
  return bytes;
}
