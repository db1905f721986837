#include "platform/tcp_connection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/errors.h"
#include "platform/stream.h"
#include "platform/text.h"

namespace tamsel {

namespace {
void AddressOf(const sockaddr_in& a, std::string& ip, int& port) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
  ip = text;
  port = ntohs(a.sin_port);
}
}  // namespace

TTCPConnection::TTCPConnection(UniqueFd fd) : fd_(std::move(fd)) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (::getpeername(fd_.Get(), reinterpret_cast<sockaddr*>(&a), &len) == 0)
    AddressOf(a, peer_ip_, peer_port_);
}

TTCPConnection::TTCPConnection(UniqueFd fd, const sockaddr_in& peer) : fd_(std::move(fd)) {
  AddressOf(peer, peer_ip_, peer_port_);
}

void TTCPConnection::ReadLocalAddress() const {
  // Asked for by few requests (scripts mostly): read once, when first needed.
  if (local_known_) return;
  local_known_ = true;
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (::getsockname(fd_.Get(), reinterpret_cast<sockaddr*>(&a), &len) == 0)
    AddressOf(a, local_ip_, local_port_);
}

void TTCPConnection::CheckConnected() const {
  if (!Connected()) throw EClosedSocket();
}

void TTCPConnection::Fill() {
  CheckConnected();
  if (in_pos_ == in_.size()) {
    in_.clear();
    in_pos_ = 0;
  } else if (in_pos_ > 0 && in_pos_ >= in_.size() / 2) {
    in_.erase(0, in_pos_);
    in_pos_ = 0;
  }
  // The receive buffer is allocated uninitialised and only the bytes the
  // system hands over are touched, so a connection that waits for its first
  // bytes costs no buffer memory yet.
  const size_t want = static_cast<size_t>(RecvBufferSize);
  if (recv_size_ != want) {
    recv_ = std::make_unique_for_overwrite<char[]>(want);
    recv_size_ = want;
  }
  for (;;) {
    ssize_t n = ::recv(fd_.Get(), recv_.get(), want, 0);
    if (n > 0) {
      in_.append(recv_.get(), static_cast<size_t>(n));
      return;
    }
    if (n == 0) throw EConnClosedGracefully();
    if (errno == EINTR) continue;
    RaiseSocketError(errno);
  }
}
std::string TTCPConnection::ReadLn() {
  size_t scanned = in_pos_;
  for (;;) {
    size_t lf = in_.find('\n', scanned);
    if (lf != std::string::npos) {
      if (lf - in_pos_ > static_cast<size_t>(MaxLineLength)) throw EReadLnMaxLineLengthExceeded();
      size_t end = lf;
      if (end > in_pos_ && in_[end - 1] == '\r') --end;
      std::string line = in_.substr(in_pos_, end - in_pos_);
      in_pos_ = lf + 1;
      return line;
    }
    if (in_.size() - in_pos_ >= static_cast<size_t>(MaxLineLength))
      throw EReadLnMaxLineLengthExceeded();
    size_t scannedAhead = in_.size() - in_pos_;  // bytes already known to hold no LF
    Fill();
    scanned = in_pos_ + scannedAhead;
  }
}

std::vector<std::string> TTCPConnection::ReadLinesToEmpty(size_t maxLines) {
  std::vector<std::string> lines;
  for (;;) {
    std::string line = ReadLn();
    if (line.empty()) return lines;
    if (line.size() >= 2 && line[0] == '.' && line[1] == '.') line.erase(0, 1);
    if (lines.size() >= maxLines) throw ETooManyLines();
    lines.push_back(std::move(line));
  }
}

void TTCPConnection::ReadExact(TStream& target, int64_t count) {
  while (count > 0) {
    if (in_pos_ == in_.size()) Fill();
    size_t take = std::min(static_cast<size_t>(count), in_.size() - in_pos_);
    target.Write(in_.data() + in_pos_, take);
    in_pos_ += take;
    count -= static_cast<int64_t>(take);
  }
}

bool TTCPConnection::ReadUntilClose(TStream& target, int64_t limit) {
  int64_t total = 0;
  for (;;) {
    if (in_pos_ == in_.size()) {
      try {
        Fill();
      } catch (const EConnClosedGracefully&) {
        return true;
      }
    }
    size_t take = in_.size() - in_pos_;
    total += static_cast<int64_t>(take);
    if (total > limit) return false;
    target.Write(in_.data() + in_pos_, take);
    in_pos_ += take;
  }
}

void TTCPConnection::SendAll(const char* data, size_t size) {
  CheckConnected();
  const int flags = MSG_NOSIGNAL | (more_follows_ ? MSG_MORE : 0);
  more_follows_ = false;
  while (size > 0) {
    ssize_t n = ::send(fd_.Get(), data, size, flags);
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseSocketError(errno);
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
}

void TTCPConnection::Write(std::string_view bytes) {
  if (buffering_) {
    out_.append(bytes);
    return;
  }
  SendAll(bytes.data(), bytes.size());
}

void TTCPConnection::WriteLn(std::string_view line) {
  if (buffering_) {
    out_.append(line);
    out_.append("\r\n");
    return;
  }
  std::string text;
  text.reserve(line.size() + 2);
  text.append(line);
  text.append("\r\n");
  SendAll(text.data(), text.size());
}

void TTCPConnection::WriteStream(TStream& stream) {
  int64_t remaining = stream.Size() - stream.Position();
  std::string chunk(static_cast<size_t>(SendBufferSize), '\0');
  while (remaining > 0) {
    size_t want = static_cast<size_t>(std::min<int64_t>(remaining, SendBufferSize));
    size_t got = stream.Read(chunk.data(), want);
    if (got == 0) throw ENoDataToRead();
    Write(std::string_view(chunk.data(), got));
    remaining -= static_cast<int64_t>(got);
  }
}

int64_t TTCPConnection::SendFileRange(int fd, int64_t offset, int64_t count) {
  CheckConnected();
  if (buffering_) CloseWriteBuffer();
  more_follows_ = false;
  off_t off = static_cast<off_t>(offset);
  int64_t sent = 0;
  while (sent < count) {
    ssize_t n = ::sendfile(fd_.Get(), fd, &off, static_cast<size_t>(std::min<int64_t>(count - sent, 1 << 30)));
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseSocketError(errno);
    }
    if (n == 0) break;  // the file shrank
    sent += n;
  }
  return sent;
}

int64_t TTCPConnection::WriteFile(const std::string& path) {
  UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.Valid()) throw EFileNotFound(Format("File \"%s\" not found", path.c_str()));
  struct stat st {};
  ::fstat(file.Get(), &st);
  return SendFileRange(file.Get(), 0, st.st_size);
}

void TTCPConnection::OpenWriteBuffer() {
  buffering_ = true;
  out_.clear();
}

void TTCPConnection::CloseWriteBuffer() {
  if (!buffering_) return;
  buffering_ = false;
  std::string pending = std::move(out_);
  out_.clear();
  SendAll(pending.data(), pending.size());
}

void TTCPConnection::Disconnect() {
  if (fd_.Valid() && !disconnected_) {
    disconnected_ = true;
    ::shutdown(fd_.Get(), SHUT_RDWR);
  }
}

std::string LookupHostName(const std::string& address) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  if (inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1) return {};
  char host[NI_MAXHOST] = {};
  if (getnameinfo(reinterpret_cast<sockaddr*>(&a), sizeof a, host, sizeof host, nullptr, 0,
                  NI_NAMEREQD) != 0)
    return {};
  return host;
}

}  // namespace tamsel
