#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

#include "server/local_address.h"

namespace tamsel {

// No remote-access (dial-up) service exists here: there is never such an address.
std::string DialUpAddress(int) { return {}; }

std::string LocalHostAddress() {
  char name[101] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* result = nullptr;
  if (::getaddrinfo(name, nullptr, &hints, &result) != 0 || !result) return "127.0.0.1";
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr, text, sizeof text);
  ::freeaddrinfo(result);
  return text;
}

}  // namespace tamsel
