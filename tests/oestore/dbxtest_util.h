// Helpers of the .dbx tests: synthetic messages and stores.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "oestore/dbxwriter.h"
#include "platform/sha256.h"

namespace qb::test {

using qb::Sha256Hex;

// A message whose raw text is recognisable and spans blocks: "Subject: S<i>"
// and a body of `bodySize` bytes.
TDbxSynthMessage SynthMessage(int i, std::size_t bodySize = 700);
std::vector<TDbxSynthMessage> SynthMessages(int count, std::size_t bodySize = 700);

// The message records of an image, and the raw texts they lead to.
std::vector<Toe5_MessageInfo> ReadMessages(const std::string& image);
std::vector<std::string> ReadTexts(const std::string& image);

}  // namespace qb::test
