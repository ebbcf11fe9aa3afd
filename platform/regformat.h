// The registry export format: the text of a .reg file, read and written.
//
// "Windows Registry Editor Version 5.00" (or "REGEDIT4") on the first line,
// then [HKEY_CURRENT_USER\...] sections holding "name"="text",
// "name"=dword:00000001 and hex(N): lines for the other types; [-KEY] and
// "name"=- delete. Texts are 8-bit and kept as their bytes; texts taken from
// UTF-16 (a Windows export, or hex(1)/hex(2) data of a version 5 file)
// become UTF-8. The key store (keystore.h) keeps its tree in this format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"

namespace qb {

// Value types, numbered as the registry numbers them.
enum TRegType : std::uint32_t {
  kRegNone = 0,
  kRegSz = 1,        // text
  kRegExpandSz = 2,  // text with %NAME% references
  kRegBinary = 3,
  kRegDword = 4,  // 32-bit integer
  kRegDwordBigEndian = 5,
  kRegLink = 6,
  kRegMultiSz = 7,
  kRegQword = 11,
};

struct TRegValue {
  std::string Name;
  std::uint32_t Type = kRegSz;
  // kRegSz, kRegExpandSz: the 8-bit text. Every type other than these and
  // kRegDword: the data bytes as a version 5 export holds them.
  std::string Data;
  std::uint32_t Dword = 0;  // kRegDword

  bool IsText() const { return Type == kRegSz || Type == kRegExpandSz; }
  bool operator==(const TRegValue&) const = default;
};

// A read of the wrong type, a name beyond the registry's limits, or a store
// file that cannot be written.
class EKeyStoreError : public EQuillboxError {
 public:
  explicit EKeyStoreError(const std::string& what, TErrorKind kind = TErrorKind::Usage)
      : EQuillboxError(kind, what) {}
  EKeyStoreError(TErrorKind kind, const char* msgid, std::initializer_list<std::string> args)
      : EQuillboxError(kind, msgid, args) {}
  EKeyStoreError(const EQuillboxError& from, TErrorKind kind) : EQuillboxError(kind, from) {}

 protected:
  EKeyStoreError(TErrorKind kind, const std::string& what, const char* msgid,
                 std::initializer_list<std::string> args)
      : EQuillboxError(kind, what, msgid, args) {}
};

// A .reg text that cannot be read; what() is "line N: what was wrong".
class ERegParseError : public EKeyStoreError {
 public:
  // problem: a msgid (marked with N_) with %1 ... for args.
  ERegParseError(int line, const char* problem, std::initializer_list<std::string> args = {});
  std::string UserText() const override;
  int Line() const { return line_; }
  const std::string& Problem() const { return problem_; }

 private:
  int line_;
  std::string problem_;
};

// What an import changed.
struct TRegImportStats {
  int Keys = 0;     // key sections of HKEY_CURRENT_USER read
  int Values = 0;   // values set
  int Deleted = 0;  // keys and values deleted
  int Ignored = 0;  // key sections of other roots, skipped
};

// Limits of the registry, enforced on every name.
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;
constexpr size_t kMaxKeyDepth = 512;

inline constexpr std::string_view kRegHeader5 = "Windows Registry Editor Version 5.00";
inline constexpr std::string_view kRegRootName = "HKEY_CURRENT_USER";

// Splits "A\B\\C" into its non-empty parts. nullopt when a part or the
// depth is beyond the registry's limits.
std::optional<std::vector<std::string_view>> SplitRegKey(std::string_view key);

// A .reg text read, as the steps that apply it, in order.
struct TRegOp {
  enum Kind { kCreateKey, kDeleteKey, kSetValue, kDeleteValue } Op;
  size_t KeyIndex;  // into TRegScript::Keys
  TRegValue Value;  // kSetValue: the value; kDeleteValue: its Name
};

struct TRegScript {
  std::vector<std::vector<std::string>> Keys;  // paths below HKEY_CURRENT_USER
  std::vector<TRegOp> Ops;
  TRegImportStats Stats;
};

// Reads a whole .reg file's bytes (UTF-16LE or UTF-16BE with a byte-order
// mark, UTF-8, or 8-bit text). Sections of other roots are skipped. Throws
// ERegParseError.
TRegScript ParseRegText(std::string_view bytes);

// Appends one section: "[path]", its values, a blank line.
void AppendRegSection(std::string& out, std::string_view path, const std::list<TRegValue>& values);

}  // namespace qb
