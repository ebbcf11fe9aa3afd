// The exceptions of this program. Every one of them derives from
// EQuillboxError, whose kind says what went wrong, so that a caller can
// catch them all in one place and still tell a damaged store from a full
// disk. The classes named after what they guard (EInOutError, EStreamError,
// EFOpenError, EReadError, EConvertError, EOleException, ...) live beside
// the code that throws them.
#pragma once

#include <stdexcept>
#include <string>

namespace qb {

enum class TErrorKind {
  InputDamaged,  // a store, message or file that does not hold what its format says
  InOut,         // reading or writing a file, a directory or the network failed
  External,      // an external program or library failed
  Usage,         // a call that should not have been made: wrong type, bad argument
};

class EQuillboxError : public std::runtime_error {
 public:
  EQuillboxError(TErrorKind kind, const std::string& what)
      : std::runtime_error(what), kind_(kind) {}
  TErrorKind Kind() const noexcept { return kind_; }

 private:
  TErrorKind kind_;
};

}  // namespace qb
