// Switches the process's local time zone (TZ) for the life of a test scope
// and puts the previous setting back afterwards.
#pragma once

#include <optional>
#include <string>

namespace tamsel::test {

class ScopedTimeZone {
 public:
  // `zone` is a TZ value, e.g. "UTC0" or "EST5EDT,M3.2.0,M11.1.0".
  explicit ScopedTimeZone(const std::string& zone);
  ~ScopedTimeZone();
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> previous_;
};

}  // namespace tamsel::test
