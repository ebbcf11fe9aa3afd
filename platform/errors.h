// The exceptions of this program. Every one of them derives from
// EQuillboxError, whose kind says what went wrong, so that a caller can
// catch them all in one place and still tell a damaged store from a full
// disk. The classes named after what they guard (EInOutError, EStreamError,
// EFOpenError, EReadError, EConvertError, EOleException, ...) live beside
// the code that throws them.
#pragma once

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/i18n.h"

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
  // A text the user may see: msgid (marked with N_ where it is thrown) with
  // %1 ... %9 replaced by args. what() is the English text; UserText()
  // gives it in the user's language.
  EQuillboxError(TErrorKind kind, const char* msgid, std::initializer_list<std::string> args)
      : std::runtime_error(Fill(msgid, args)), kind_(kind), msgid_(msgid), args_(args) {}
  // The text of from, msgid and arguments too, as another kind.
  EQuillboxError(TErrorKind kind, const EQuillboxError& from)
      : std::runtime_error(from), kind_(kind), msgid_(from.msgid_), args_(from.args_) {}
  // what (English, as it is) for a msgid with its arguments that is only a
  // part of it: a subclass gives the whole in UserText.
  EQuillboxError(TErrorKind kind, const std::string& what, const char* msgid,
                 std::initializer_list<std::string> args)
      : std::runtime_error(what), kind_(kind), msgid_(msgid), args_(args) {}
  virtual ~EQuillboxError() = default;
  TErrorKind Kind() const noexcept { return kind_; }
  // The text in the user's language: the msgid translated with its
  // arguments, or what() looked up in the catalogue (as it is without one).
  virtual std::string UserText() const {
    if (!msgid_) {
      const std::string text = what();
      return text.empty() ? text : Translate(text);  // "" is the catalogue's header
    }
    return SubstituteList(Translate(msgid_),
                          std::vector<std::string_view>(args_.begin(), args_.end()));
  }
  // The msgid, or nullptr for a text thrown as it is.
  const char* MessageId() const noexcept { return msgid_; }
  const std::vector<std::string>& Arguments() const noexcept { return args_; }

 private:
  static std::string Fill(const char* msgid, std::initializer_list<std::string> args) {
    std::vector<std::string_view> views(args.begin(), args.end());
    return SubstituteList(msgid, views);
  }

  TErrorKind kind_;
  const char* msgid_ = nullptr;
  std::vector<std::string> args_;
};

}  // namespace qb
