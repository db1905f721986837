// One accepted TCP connection: buffered line and length reads, writes with an
// optional write buffer that leaves in one send, file sends and addresses.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fd.h"

namespace tamsel {

class TStream;

class TTCPConnection {
 public:
  explicit TTCPConnection(UniqueFd fd);
  // With the peer's address as accept returned it.
  TTCPConnection(UniqueFd fd, const sockaddr_in& peer);
  TTCPConnection(const TTCPConnection&) = delete;
  TTCPConnection& operator=(const TTCPConnection&) = delete;

  int MaxLineLength = 16384;
  int RecvBufferSize = 32768;
  int SendBufferSize = 32768;

  // Bytes up to LF, a CR before it removed. Raises EReadLnMaxLineLengthExceeded
  // for an over-long line and EConnClosedGracefully when the peer closes.
  std::string ReadLn();
  // Lines up to an empty one (not kept); a line that begins with ".." loses
  // its first dot. More than `maxLines` lines raise ETooManyLines.
  std::vector<std::string> ReadLinesToEmpty(size_t maxLines);
  // Exactly `count` bytes into `target`; buffered bytes first.
  void ReadExact(TStream& target, int64_t count);
  // Everything until the peer closes; false (and reading stops) once more
  // than `limit` bytes arrived.
  bool ReadUntilClose(TStream& target, int64_t limit);

  void Write(std::string_view bytes);
  void WriteLn(std::string_view line);
  // The stream from its current position to its end, in SendBufferSize chunks.
  void WriteStream(TStream& stream);
  // The whole file; returns the bytes sent. Raises EFileNotFound when it cannot be opened.
  int64_t WriteFile(const std::string& path);
  // From an open descriptor: `count` bytes from `offset` (sendfile).
  int64_t SendFileRange(int fd, int64_t offset, int64_t count);

  // Everything written between the two leaves in one send.
  void OpenWriteBuffer();
  void CloseWriteBuffer();
  // The next send is followed at once by more bytes (a body after its
  // header): the system may hold it back to put both into the same
  // segments. The send itself still leaves as one unit; the last bytes of
  // what follows push everything out.
  void MoreFollows() { more_follows_ = true; }
  bool WriteBuffered() const { return buffering_; }

  void Disconnect();
  bool Connected() const { return fd_.Valid() && !disconnected_; }
  int Handle() const { return fd_.Get(); }

  const std::string& PeerIP() const { return peer_ip_; }
  int PeerPort() const { return peer_port_; }
  const std::string& LocalIP() const {
    ReadLocalAddress();
    return local_ip_;
  }
  int LocalPort() const {
    ReadLocalAddress();
    return local_port_;
  }

 private:
  void Fill();  // one recv into the input buffer
  void SendAll(const char* data, size_t size);
  void CheckConnected() const;
  void ReadLocalAddress() const;

  UniqueFd fd_;
  bool disconnected_ = false;
  std::string in_;      // received, not yet consumed
  size_t in_pos_ = 0;   // first unconsumed byte of in_
  bool buffering_ = false;
  bool more_follows_ = false;
  std::string out_;
  std::unique_ptr<char[]> recv_;  // what one recv fills, RecvBufferSize bytes
  size_t recv_size_ = 0;
  std::string peer_ip_;
  int peer_port_ = 0;
  mutable std::string local_ip_;
  mutable int local_port_ = 0;
  mutable bool local_known_ = false;
};

// Reverse name lookup of an IPv4 address; empty when no name is found.
std::string LookupHostName(const std::string& address);

}  // namespace tamsel
