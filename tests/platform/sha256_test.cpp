#include "platform/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace qb {
namespace {

TEST(Sha256, KnownDigests) {
  const struct {
    std::string Data;
    const char* Hex;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {std::string(1000, 'a') + std::string(1, '\0'),
       "8e047e94af2b183a25cfd0e46f0b77315a05232f5e92d60af255d1cd2066f965"},
  };
  for (const auto& c : cases) EXPECT_EQ(Sha256Hex(c.Data), c.Hex) << c.Data.size();
}

}  // namespace
}  // namespace qb
