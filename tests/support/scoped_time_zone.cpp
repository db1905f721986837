#include "support/scoped_time_zone.h"

#include <cstdlib>
#include <ctime>

namespace tamsel::test {

ScopedTimeZone::ScopedTimeZone(const std::string& zone) {
  if (const char* old = std::getenv("TZ")) previous_ = old;
  setenv("TZ", zone.c_str(), 1);
  tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
  if (previous_)
    setenv("TZ", previous_->c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

}  // namespace tamsel::test
