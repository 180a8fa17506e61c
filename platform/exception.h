// The toolkit's base exception: a message and a help context that stays 0. Every exception
// that the program shows in its exception box derives from it.
#pragma once

#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  const std::string Message() const { return what(); }
  int HelpContext() const { return 0; }
};

// The toolkit's file-creation error: "Cannot create file <path>".
class EFCreateError : public Exception {
 public:
  explicit EFCreateError(const std::string& path) : Exception("Cannot create file " + path) {}
};

// The toolkit's list-index error: an index outside 0 to count-1.
class EListError : public Exception {
 public:
  explicit EListError(int index)
      : Exception("List index out of bounds (" + std::to_string(index) + ")") {}
};

// The toolkit's operating-system error, for a failed system call and its last error.
class EOSError : public Exception {
 public:
  explicit EOSError(unsigned long code)
      : Exception("System Error. Code: " + std::to_string(code) + "."), ErrorCode(code) {}
  unsigned long ErrorCode;
};
