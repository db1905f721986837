// One accepted TCP connection: buffered line and length reads, writes with an
// optional write buffer that leaves in one send, file sends and addresses.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fd.h"

namespace tamsel {

class TStream;

class TTCPConnection {
 public:
  explicit TTCPConnection(UniqueFd fd);
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
  bool WriteBuffered() const { return buffering_; }

  void Disconnect();
  bool Connected() const { return fd_.Valid() && !disconnected_; }
  int Handle() const { return fd_.Get(); }

  const std::string& PeerIP() const { return peer_ip_; }
  int PeerPort() const { return peer_port_; }
  const std::string& LocalIP() const { return local_ip_; }
  int LocalPort() const { return local_port_; }

 private:
  void Fill();  // one recv into the input buffer
  void SendAll(const char* data, size_t size);
  void CheckConnected() const;

  UniqueFd fd_;
  bool disconnected_ = false;
  std::string in_;      // received, not yet consumed
  size_t in_pos_ = 0;   // first unconsumed byte of in_
  bool buffering_ = false;
  std::string out_;
  std::string peer_ip_, local_ip_;
  int peer_port_ = 0, local_port_ = 0;
};

// Reverse name lookup of an IPv4 address; empty when no name is found.
std::string LookupHostName(const std::string& address);

}  // namespace tamsel
