// The Outlook Express stores of the current user, one per identity, as the
// key store (the registry's stand-in) describes them.
#pragma once

#include <string>
#include <vector>

#include "platform/keystore.h"

namespace qb {

// Placeholder texts of the identity list.
inline constexpr const char* kDefaultIdentityName = "[Default]";
inline constexpr const char* kUnknownIdentityName = "Unknown";
inline constexpr const char* kEmptyProfileRoot = "[Empty Profile]";

// Clears both lists and fills them in parallel: entry i of names and of
// storeRoots describes one identity. The store of Outlook Express without
// identities, when configured, is the one entry "[Default]"; otherwise there
// is one entry per subkey of "Identities", in the store's enumeration order.
// Store roots have their %NAME% references expanded from the environment and
// their backslashes turned into '/'.
void ListOEIdentities(std::vector<std::string>& names, std::vector<std::string>& storeRoots,
                      const TKeyStore& store = UserKeyStore());

}  // namespace qb
