// Throughput of the base64 encoder in the layout attachments use, beside
// coreutils base64 and openssl base64 on the same data.
//
// The data is pseudo-random bytes (256 MiB by default, or the MiB given as
// the first argument), written once to a temporary file. The encoder is
// timed twice: over the data in memory, and reading the file in blocks of
// attachment chunks and writing each block's encoding to /dev/null. The tools read the same file and write to /dev/null. Each
// run is repeated and the best wall time kept.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "mime/base64.h"

extern char **environ;

namespace {

constexpr std::size_t kMiB = 1024 * 1024;
constexpr std::size_t kDefaultMiB = 256;
// Attachment chunk: 100 lines of 57 bytes, so every full chunk ends a line.
constexpr std::size_t kChunk = 5700;
// Chunks read and written per system call in the file run: the tools read
// and write in blocks of tens of kilobytes, so chunk-sized calls would time
// the system calls rather than the encoder.
constexpr std::size_t kChunksPerBlock = 16;
constexpr int kRepeats = 3;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// SplitMix64: fast, reproducible bytes that do not compress.
void FillRandom(std::vector<unsigned char> &data) {
  std::uint64_t state = 0x9E3779B97F4A7C15u;
  for (std::size_t i = 0; i < data.size(); i += 8) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    z ^= z >> 31;
    for (std::size_t k = 0; k < 8 && i + k < data.size(); ++k)
      data[i + k] = static_cast<unsigned char>(z >> (8 * k));
  }
}

// Encodes one attachment chunk: fill only after the last chunk.
std::size_t EncodeChunk(const unsigned char *in, std::size_t n, bool last, char *out,
                        std::size_t capacity) {
  std::size_t result = capacity;
  if (EncodeBase64(in, n, out, &result, last ? 0 : kBase64NoFill) != 1) {
    std::fprintf(stderr, "EncodeBase64 failed\n");
    std::exit(1);
  }
  return result;
}

double EncodeInMemory(const std::vector<unsigned char> &data, std::size_t &produced) {
  std::vector<char> out(Base64Capacity(kChunk, 0));
  auto start = Clock::now();
  produced = 0;
  for (std::size_t at = 0; at < data.size(); at += kChunk) {
    std::size_t n = data.size() - at < kChunk ? data.size() - at : kChunk;
    produced += EncodeChunk(data.data() + at, n, at + n == data.size(), out.data(), out.size());
  }
  return Seconds(start);
}

bool WriteAll(int fd, const void *data, std::size_t n) {
  const char *p = static_cast<const char *>(data);
  while (n > 0) {
    ssize_t w = write(fd, p, n);
    if (w <= 0) return false;
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

double EncodeFile(const char *path, std::size_t size) {
  const std::size_t block = kChunk * kChunksPerBlock;
  std::vector<unsigned char> in(block);
  const std::size_t chunk_out = Base64Capacity(kChunk, 0);
  std::vector<char> out(chunk_out * kChunksPerBlock);
  auto start = Clock::now();
  int src = open(path, O_RDONLY);
  int sink = open("/dev/null", O_WRONLY);
  if (src < 0 || sink < 0) {
    std::perror("open");
    std::exit(1);
  }
  std::size_t done = 0;
  while (done < size) {
    std::size_t want = size - done < block ? size - done : block;
    std::size_t got = 0;
    while (got < want) {
      ssize_t r = read(src, in.data() + got, want - got);
      if (r <= 0) {
        std::perror("read");
        std::exit(1);
      }
      got += static_cast<std::size_t>(r);
    }
    std::size_t produced = 0;
    for (std::size_t at = 0; at < got; at += kChunk) {
      std::size_t n = got - at < kChunk ? got - at : kChunk;
      produced += EncodeChunk(in.data() + at, n, done + at + n == size, out.data() + produced,
                              chunk_out);
    }
    done += got;
    if (!WriteAll(sink, out.data(), produced)) std::exit(1);
  }
  close(src);
  close(sink);
  return Seconds(start);
}

// Runs argv with standard input from path and output to /dev/null.
double RunTool(const std::vector<std::string> &args, const char *path) {
  std::vector<char *> argv;
  for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, path, O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  auto start = Clock::now();
  pid_t pid;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return -1;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  double t = Seconds(start);
  posix_spawn_file_actions_destroy(&actions);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? t : -1;
}

template <typename F>
double Best(F run) {
  double best = -1;
  for (int i = 0; i < kRepeats; ++i) {
    double t = run();
    if (t < 0) return -1;
    if (best < 0 || t < best) best = t;
  }
  return best;
}

double MBps(std::size_t bytes, double seconds) { return bytes / 1e6 / seconds; }

}  // namespace

int main(int argc, char **argv) {
  std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : kDefaultMiB;
  if (mib == 0) mib = kDefaultMiB;
  std::vector<unsigned char> data(mib * kMiB);
  FillRandom(data);

  char path[] = "/tmp/base64_bench_XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0 || !WriteAll(fd, data.data(), data.size())) {
    std::perror("temporary file");
    return 1;
  }
  close(fd);

  std::size_t produced = 0;
  double memory = Best([&] { return EncodeInMemory(data, produced); });
  double file = Best([&] { return EncodeFile(path, data.size()); });
  double coreutils = Best([&] { return RunTool({"base64", "-w", "76"}, path); });
  double openssl = Best([&] { return RunTool({"openssl", "base64"}, path); });
  unlink(path);

  std::printf("input: %zu MiB of random bytes, chunks of %zu bytes, 76-character lines\n", mib,
              kChunk);
  std::printf("encoded: %zu bytes (CR LF line ends)\n", produced);
  std::printf("%-38s %10.1f MB/s\n", "mailvane EncodeBase64, in memory", MBps(data.size(), memory));
  std::printf("%-38s %10.1f MB/s\n", "mailvane EncodeBase64, file to null", MBps(data.size(), file));
  if (coreutils > 0)
    std::printf("%-38s %10.1f MB/s\n", "coreutils base64 -w 76 (LF only)",
                MBps(data.size(), coreutils));
  else
    std::printf("coreutils base64: not run\n");
  if (openssl > 0)
    std::printf("%-38s %10.1f MB/s\n", "openssl base64 (64-char lines)", MBps(data.size(), openssl));
  else
    std::printf("openssl base64: not run\n");
  if (coreutils > 0) {
    std::printf("ratio to coreutils: %.2fx in memory, %.2fx file to null\n", coreutils / memory,
                coreutils / file);
  }
  if (openssl > 0)
    std::printf("ratio to openssl:   %.2fx in memory, %.2fx file to null\n", openssl / memory,
                openssl / file);
  return 0;
}
