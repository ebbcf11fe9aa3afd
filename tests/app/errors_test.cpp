// Every exception class of the program derives from EQuillboxError, and
// each says the kind of fault it stands for.
#include "platform/errors.h"

#include <gtest/gtest.h>

#include <functional>
#include <type_traits>

#include "engine/oIniFile.h"
#include "mbox/mboxreader.h"
#include "mime/streams.h"
#include "oestore/dbxreader.h"
#include "outlook/automation.h"
#include "platform/keystore.h"

namespace qb {
namespace {

TEST(Errors, EachClassIsOneOfOursOfItsKind) {
  using K = TErrorKind;
  const struct {
    const char* Name;
    std::function<void()> Throw;
    K Kind;
  } cases[] = {
      {"EInOutError", [] { throw EInOutError("x"); }, K::InOut},
      {"EConvertError", [] { throw EConvertError("x"); }, K::InputDamaged},
      {"EStreamError", [] { throw EStreamError("x"); }, K::InOut},
      {"EFOpenError", [] { throw EFOpenError("x"); }, K::InOut},
      {"EReadError", [] { throw EReadError("x"); }, K::InOut},
      {"EOleException", [] { throw ole::EOleException("x"); }, K::External},
      {"EMboxError", [] { throw EMboxError("x"); }, K::InOut},
      {"EKeyStoreError", [] { throw EKeyStoreError("x"); }, K::Usage},
      {"ERegParseError", [] { throw ERegParseError(3, "x"); }, K::InputDamaged},
      {"a store that cannot be saved", [] { throw EKeyStoreError("x", K::InOut); }, K::InOut},
  };
  for (const auto& c : cases) {
    try {
      c.Throw();
      ADD_FAILURE() << c.Name << " was not thrown";
    } catch (const EQuillboxError& e) {
      EXPECT_EQ(e.Kind(), c.Kind) << c.Name;
      EXPECT_NE(std::string(e.what()).find('x'), std::string::npos) << c.Name;
    }
  }
}

// What callers that know nothing of the root still catch.
static_assert(std::is_base_of_v<std::runtime_error, EQuillboxError>);

}  // namespace
}  // namespace qb
