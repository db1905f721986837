// The exception tree shared by the platform layer and the engine. Every class
// carries a stable name so log lines can say which failure happened.
#pragma once

#include <stdexcept>
#include <string>

namespace tamsel {

// Root of every failure raised by the platform layer and the HTTP engine.
class EEngineException : public std::runtime_error {
 public:
  explicit EEngineException(const std::string& message) : std::runtime_error(message) {}
  virtual const char* ClassName() const noexcept { return "EEngineException"; }
};

#define TAMSEL_EXCEPTION(Name, Base)                                          \
  class Name : public Base {                                                  \
   public:                                                                    \
    using Base::Base;                                                         \
    const char* ClassName() const noexcept override { return #Name; }        \
  }

#define TAMSEL_FIXED_EXCEPTION(Name, Base, Text)                              \
  class Name : public Base {                                                  \
   public:                                                                    \
    Name() : Base(Text) {}                                                    \
    explicit Name(const std::string& message) : Base(message) {}              \
    const char* ClassName() const noexcept override { return #Name; }        \
  }

// A failure of a system call, carrying its errno-style code.
class ESystemError : public EEngineException {
 public:
  ESystemError(int code, const std::string& message) : EEngineException(message), code_(code) {}
  const char* ClassName() const noexcept override { return "ESystemError"; }
  int Code() const noexcept { return code_; }

 private:
  int code_;
};

// Socket failures.
TAMSEL_EXCEPTION(ESocketError, ESystemError);
TAMSEL_EXCEPTION(ECouldNotBindSocket, ESocketError);
TAMSEL_FIXED_EXCEPTION(EConnClosedGracefully, EEngineException, "Connection Closed Gracefully.");
TAMSEL_FIXED_EXCEPTION(EReadLnMaxLineLengthExceeded, EEngineException, "Max line length exceeded.");
TAMSEL_FIXED_EXCEPTION(EClosedSocket, EEngineException, "Disconnected.");
TAMSEL_FIXED_EXCEPTION(ENotConnected, EEngineException, "Not Connected");
TAMSEL_FIXED_EXCEPTION(ENoDataToRead, EEngineException, "No data to read.");
TAMSEL_FIXED_EXCEPTION(ETooManyLines, EEngineException, "Too many lines.");
TAMSEL_EXCEPTION(EFileNotFound, EEngineException);
TAMSEL_EXCEPTION(EFOpenError, EEngineException);
TAMSEL_EXCEPTION(EThreadError, EEngineException);

// The system's name for a "connection reset by peer" error code.
bool IsConnectionReset(int code) noexcept;

// Builds an ESocketError from errno-style code with the system's text.
[[noreturn]] void RaiseSocketError(int code);

}  // namespace tamsel
