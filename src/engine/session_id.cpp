#include "engine/session_id.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/errors.h"
#include "platform/fd.h"
#include "platform/text.h"

namespace tamsel {

namespace {

// Fills `buffer` with random bytes; falls back to /dev/urandom on kernels
// without getrandom.
void FillRandom(uint8_t* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t got = ::getrandom(buffer + done, size - done, 0);
    if (got > 0) {
      done += static_cast<size_t>(got);
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno == ENOSYS) break;
    throw EEngineException(Format("Cannot read random bytes. %s", std::strerror(errno)));
  }
  if (done == size) return;
  UniqueFd fd(::open("/dev/urandom", O_RDONLY | O_CLOEXEC));
  if (!fd.Valid()) throw EEngineException(Format("Cannot read random bytes. %s", std::strerror(errno)));
  while (done < size) {
    ssize_t got = ::read(fd.Get(), buffer + done, size - done);
    if (got > 0) {
      done += static_cast<size_t>(got);
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      throw EEngineException(Format("Cannot read random bytes. %s", std::strerror(errno)));
    }
  }
}

}  // namespace

std::string MakeSessionID(int length) {
  constexpr unsigned kAlphabetSize = kSessionIDAlphabet.size();
  // Bytes at or above the largest multiple of the alphabet size would make
  // the first characters likelier; they are thrown away and drawn again.
  constexpr unsigned kLimit = 256 / kAlphabetSize * kAlphabetSize;
  static_assert(kAlphabetSize == 61 && kLimit == 244);

  std::string id;
  if (length <= 0) return id;
  id.reserve(static_cast<size_t>(length));
  uint8_t pool[64];
  while (id.size() < static_cast<size_t>(length)) {
    // Draw a little more than needed so a rejected byte rarely costs a call.
    size_t want = static_cast<size_t>(length) - id.size();
    want = want + want / 4 + 1;
    if (want > sizeof pool) want = sizeof pool;
    FillRandom(pool, want);
    for (size_t i = 0; i < want && id.size() < static_cast<size_t>(length); ++i)
      if (pool[i] < kLimit) id += kSessionIDAlphabet[pool[i] % kAlphabetSize];
  }
  return id;
}

}  // namespace tamsel
