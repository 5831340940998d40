// The base of every exception the system raises. It lives at the bottom, with
// the other services the run-time library gives, so that the platform layer
// can raise it too.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace vx {

class Exception : public std::exception {
 public:
  explicit Exception(std::string Message) : FMessage(std::move(Message)) {}
  const char* what() const noexcept override { return FMessage.c_str(); }
  const std::string& Message() const noexcept { return FMessage; }

 private:
  std::string FMessage;
};

}  // namespace vx
