// Errors are exceptions carrying the user-visible text (GBK bytes).
#pragma once

#include <stdexcept>
#include <string>

namespace querna {

class QuernaError : public std::runtime_error {
  public:
    explicit QuernaError(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace querna
