#include "probe/ByteSearch.h"

#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#define TAVELUNE_X86_64 1
#endif

#include "platform/ByteFile.h"

namespace tavelune {

namespace {

// Whether the needle sits at `at`, its first and last bytes already known to match.
bool MiddleMatches(const char* at, std::string_view needle) {
  return needle.size() <= 2 || std::memcmp(at + 1, needle.data() + 1, needle.size() - 2) == 0;
}

// Positions from `from` on, one at a time; for the short tails of the vector loops.
std::size_t FindScalar(std::string_view haystack, std::string_view needle, std::size_t from) {
  auto it = std::search(haystack.begin() + static_cast<std::ptrdiff_t>(from), haystack.end(),
                        needle.begin(), needle.end());
  return it == haystack.end() ? std::string_view::npos
                              : static_cast<std::size_t>(it - haystack.begin());
}

#ifdef TAVELUNE_X86_64

// Tests the candidate positions in `mask` (bit i: position base + i).
template <typename Mask>
std::size_t FirstConfirmed(Mask mask, const char* haystack, std::size_t base,
                           std::string_view needle) {
  while (mask != 0) {
    auto bit = static_cast<unsigned>(__builtin_ctzll(static_cast<unsigned long long>(mask)));
    if (MiddleMatches(haystack + base + bit, needle)) {
      return base + bit;
    }
    mask &= mask - 1;
  }
  return std::string_view::npos;
}

// SSE2 is part of every x86-64 processor.
std::size_t FindSse2(std::string_view haystack, std::string_view needle) {
  const std::size_t last = needle.size() - 1;
  const __m128i first = _mm_set1_epi8(needle.front());
  const __m128i lastByte = _mm_set1_epi8(needle.back());
  const char* h = haystack.data();
  std::size_t i = 0;
  for (; i + last + 16 <= haystack.size(); i += 16) {
    __m128i blockFirst = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i));
    __m128i blockLast = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i + last));
    __m128i both =
        _mm_and_si128(_mm_cmpeq_epi8(blockFirst, first), _mm_cmpeq_epi8(blockLast, lastByte));
    auto mask = static_cast<unsigned>(_mm_movemask_epi8(both));
    if (mask != 0) {
      std::size_t found = FirstConfirmed(mask, h, i, needle);
      if (found != std::string_view::npos) {
        return found;
      }
    }
  }
  return FindScalar(haystack, needle, i);
}

// Bit i set: position `at` + i has the needle's first and last bytes.
__attribute__((target("avx2"), always_inline)) inline __m256i Candidates32(const char* at,
                                                                           std::size_t last,
                                                                           __m256i first,
                                                                           __m256i lastByte) {
  __m256i blockFirst = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
  __m256i blockLast = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + last));
  return _mm256_and_si256(_mm256_cmpeq_epi8(blockFirst, first),
                          _mm256_cmpeq_epi8(blockLast, lastByte));
}

// 64 positions per round: two 32-byte blocks, one test of the combined mask.
__attribute__((target("avx2"))) std::size_t FindAvx2(std::string_view haystack,
                                                     std::string_view needle) {
  const std::size_t last = needle.size() - 1;
  const __m256i first = _mm256_set1_epi8(needle.front());
  const __m256i lastByte = _mm256_set1_epi8(needle.back());
  const char* h = haystack.data();
  std::size_t i = 0;
  for (; i + last + 64 <= haystack.size(); i += 64) {
    __m256i low = Candidates32(h + i, last, first, lastByte);
    __m256i high = Candidates32(h + i + 32, last, first, lastByte);
    if (_mm256_testz_si256(_mm256_or_si256(low, high), _mm256_or_si256(low, high))) {
      continue;
    }
    auto mask = static_cast<unsigned long long>(static_cast<unsigned>(_mm256_movemask_epi8(low))) |
                static_cast<unsigned long long>(static_cast<unsigned>(_mm256_movemask_epi8(high)))
                    << 32;
    std::size_t found = FirstConfirmed(mask, h, i, needle);
    if (found != std::string_view::npos) {
      return found;
    }
  }
  std::size_t rest = FindSse2(haystack.substr(i), needle);
  return rest == std::string_view::npos ? rest : i + rest;
}

bool HasAvx2() {
  static const bool kHas = __builtin_cpu_supports("avx2");
  return kHas;
}

#endif

}  // namespace

std::size_t FindBytes(std::string_view haystack, std::string_view needle) {
  if (needle.empty()) {
    return 0;
  }
  if (needle.size() > haystack.size()) {
    return std::string_view::npos;
  }
  if (needle.size() == 1) {
    const void* at = std::memchr(haystack.data(), needle.front(), haystack.size());
    return at == nullptr ? std::string_view::npos
                         : static_cast<std::size_t>(static_cast<const char*>(at) - haystack.data());
  }
#ifdef TAVELUNE_X86_64
  return HasAvx2() ? FindAvx2(haystack, needle) : FindSse2(haystack, needle);
#else
  return FindScalar(haystack, needle, 0);
#endif
}

std::int64_t FindBytesInFile(const std::string& fileName, const std::string& pattern,
                             std::uint64_t limit) {
  platform::TByteFile file;
  if (!file.Open(fileName, platform::TShareMode::DenyNone)) {
    return -1;
  }
  // Blocks small enough to stay in the processor's cache between the read
  // and the search; a match may straddle two blocks, so the last
  // pattern-length - 1 bytes of each block are searched again with the next.
  const std::size_t blockSize = std::max<std::size_t>(256 * 1024, pattern.size());
  const std::size_t carry = pattern.empty() ? 0 : pattern.size() - 1;
  std::vector<char> buffer(blockSize + carry);
  std::uint64_t bufferStart = 0;  // file offset of buffer[0]
  std::size_t kept = 0;           // bytes carried over from the previous block
  std::uint64_t remaining = limit;
  while (remaining > 0) {
    auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(blockSize, remaining));
    std::size_t got = file.Read(buffer.data() + kept, wanted);
    if (got == 0) {
      break;
    }
    remaining -= got;
    std::size_t length = kept + got;
    std::size_t found = FindBytes(std::string_view(buffer.data(), length), pattern);
    if (found != std::string_view::npos) {
      return static_cast<std::int64_t>(bufferStart + found);
    }
    std::size_t keep = std::min(carry, length);
    std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(length - keep),
              buffer.begin() + static_cast<std::ptrdiff_t>(length), buffer.begin());
    bufferStart += length - keep;
    kept = keep;
  }
  return -1;
}

}  // namespace tavelune
