#include "oauth/keyed_hash.h"

#include <cstdint>
#include <cstring>

#include "mail/secure_zero.h"

namespace {

// SHA-256 works on 64-byte blocks (FIPS 180-4 section 5.1.1); HMAC pads its
// key to one block (RFC 2104 section 2).
constexpr std::size_t kBlockSize = 64;
constexpr unsigned char kInnerPad = 0x36;
constexpr unsigned char kOuterPad = 0x5C;

// FIPS 180-4 section 4.2.2: the first 32 bits of the fractional parts of
// the cube roots of the first 64 primes.
constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

// Section 5.3.3: the first 32 bits of the fractional parts of the square
// roots of the first 8 primes.
constexpr std::uint32_t kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

std::uint32_t Rotate(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

// One SHA-256 computation, fed in pieces; wiped when it ends.
class CSha256 {
 public:
  CSha256() { std::memcpy(m_state, kInitial, sizeof m_state); }
  ~CSha256() {
    SecureZero(m_state, sizeof m_state);
    SecureZero(m_block, sizeof m_block);
  }
  CSha256(const CSha256 &) = delete;
  CSha256 &operator=(const CSha256 &) = delete;

  void Add(const unsigned char *data, std::size_t size) {
    m_total += size;
    while (size > 0) {
      std::size_t take = kBlockSize - m_used < size ? kBlockSize - m_used : size;
      std::memcpy(m_block + m_used, data, take);
      m_used += take;
      data += take;
      size -= take;
      if (m_used == kBlockSize) Compress();
    }
  }

  // Section 5.1.1: a 1 bit, zeros, and the length in bits as 64 bits.
  void Finish(unsigned char (&out)[kKeyedHashSize]) {
    const std::uint64_t bits = m_total * 8;
    const unsigned char one = 0x80;
    const unsigned char zero = 0;
    Add(&one, 1);
    while (m_used != kBlockSize - 8) Add(&zero, 1);
    unsigned char length[8];
    for (int i = 0; i < 8; ++i) length[i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    Add(length, sizeof length);
    for (int i = 0; i < 8; ++i)
      for (int j = 0; j < 4; ++j) out[4 * i + j] = static_cast<unsigned char>(m_state[i] >> (24 - 8 * j));
  }

 private:
  // Section 6.2.2.
  void Compress() {
    std::uint32_t w[64];
    for (int t = 0; t < 16; ++t)
      w[t] = static_cast<std::uint32_t>(m_block[4 * t]) << 24 |
             static_cast<std::uint32_t>(m_block[4 * t + 1]) << 16 |
             static_cast<std::uint32_t>(m_block[4 * t + 2]) << 8 | m_block[4 * t + 3];
    for (int t = 16; t < 64; ++t) {
      const std::uint32_t s0 = Rotate(w[t - 15], 7) ^ Rotate(w[t - 15], 18) ^ (w[t - 15] >> 3);
      const std::uint32_t s1 = Rotate(w[t - 2], 17) ^ Rotate(w[t - 2], 19) ^ (w[t - 2] >> 10);
      w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    std::uint32_t v[8];
    std::memcpy(v, m_state, sizeof v);
    for (int t = 0; t < 64; ++t) {
      const std::uint32_t e = v[4], a = v[0];
      const std::uint32_t t1 = v[7] + (Rotate(e, 6) ^ Rotate(e, 11) ^ Rotate(e, 25)) +
                               ((e & v[5]) ^ (~e & v[6])) + kRound[t] + w[t];
      const std::uint32_t t2 = (Rotate(a, 2) ^ Rotate(a, 13) ^ Rotate(a, 22)) +
                               ((a & v[1]) ^ (a & v[2]) ^ (v[1] & v[2]));
      std::memmove(v + 1, v, 7 * sizeof v[0]);
      v[4] += t1;
      v[0] = t1 + t2;
    }
    for (int i = 0; i < 8; ++i) m_state[i] += v[i];
    SecureZero(w, sizeof w);
    SecureZero(v, sizeof v);
    m_used = 0;
  }

  std::uint32_t m_state[8];
  unsigned char m_block[kBlockSize] = {};
  std::size_t m_used = 0;
  std::uint64_t m_total = 0;
};

}  // namespace

bool KeyedHash(const unsigned char *key, std::size_t keySize, std::string_view data,
               unsigned char (&out)[kKeyedHashSize]) {
  // SHA-256 takes fewer than 2^61 bytes; no key comes near.
  if (keySize >= (std::uint64_t{1} << 60)) {
    SecureZero(out, sizeof out);
    return false;
  }
  // A key longer than a block is hashed to one (RFC 2104 section 2).
  unsigned char block[kBlockSize] = {};
  if (keySize > kBlockSize) {
    CSha256 keyHash;
    keyHash.Add(key, keySize);
    unsigned char hashed[kKeyedHashSize];
    keyHash.Finish(hashed);
    std::memcpy(block, hashed, sizeof hashed);
    SecureZero(hashed, sizeof hashed);
  } else if (keySize > 0) {
    std::memcpy(block, key, keySize);
  }
  unsigned char pad[kBlockSize];
  unsigned char inner[kKeyedHashSize];
  {
    CSha256 hash;
    for (std::size_t i = 0; i < kBlockSize; ++i) pad[i] = block[i] ^ kInnerPad;
    hash.Add(pad, sizeof pad);
    hash.Add(reinterpret_cast<const unsigned char *>(data.data()), data.size());
    hash.Finish(inner);
  }
  {
    CSha256 hash;
    for (std::size_t i = 0; i < kBlockSize; ++i) pad[i] = block[i] ^ kOuterPad;
    hash.Add(pad, sizeof pad);
    hash.Add(inner, sizeof inner);
    hash.Finish(out);
  }
  SecureZero(block, sizeof block);
  SecureZero(pad, sizeof pad);
  SecureZero(inner, sizeof inner);
  return true;
}
