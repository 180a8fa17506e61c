// Letter case of the ASCII letters only, as Windows compares executable and service names
// without regard to case: every other byte (digits, punctuation, accented letters of the
// code page) stays as it is.
#pragma once

#include <string>

namespace qm {

inline char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string UpperAscii(std::string text) {
  for (char& c : text) c = UpperAscii(c);
  return text;
}

}  // namespace qm
