// The run-ending error of a console read: text that cannot be converted to the
// expected number, a number outside its destination's range, or the end of the
// input. The program flow turns it into a one-line message on standard error
// and a non-zero exit status.
#pragma once

#include <stdexcept>
#include <string>

namespace rxc {

class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace rxc
