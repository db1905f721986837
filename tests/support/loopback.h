// Test helpers: a plain loopback HTTP client and process resource counters.
#pragma once

#include <string>

#include "platform/fd.h"

namespace tamsel::test {

// A client connection to 127.0.0.1:port with a receive time-out of a few seconds.
class LoopbackClient {
 public:
  explicit LoopbackClient(int port);
  void Send(const std::string& bytes);
  // Closes the sending direction (the server then sees the end of the body).
  void ShutdownWrite();
  // Everything until the server closes (or the time-out passes).
  std::string ReadAll();
  // One response: header up to the blank line, then Content-Length bytes.
  std::string ReadResponse();
  // True when the server has closed the connection (reads return end of file).
  bool ServerClosed();

 private:
  bool Fill();
  UniqueFd fd_;
  std::string buffer_;
};

// Sends `request` on a new connection and returns all the server sent until it closed.
std::string Exchange(int port, const std::string& request);

// The body of a response text (after the first blank line).
std::string BodyOf(const std::string& response);
// The value of a header line of a response text, empty when absent.
std::string HeaderOf(const std::string& response, const std::string& name);

int OpenDescriptorCount();
int ThreadCount();

}  // namespace tamsel::test
