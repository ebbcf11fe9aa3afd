#include "oestore/identities.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/testsupport.h"

namespace qb {
namespace {

using List = std::vector<std::string>;

const std::string kOE = "Software\\Microsoft\\Outlook Express";

struct Identities {
  List Names, Roots;
};

Identities ListOf(const TKeyStore& store) {
  // Both lists start filled: the call must clear them.
  Identities out{{"stale"}, {"stale", "entries"}};
  ListOEIdentities(out.Names, out.Roots, store);
  EXPECT_EQ(out.Names.size(), out.Roots.size());
  return out;
}

void AddIdentity(TKeyStore& store, const std::string& key, const std::string& user,
                 const std::string* storeRoot) {
  store.WriteString("Identities\\" + key, "Username", user);
  if (storeRoot)
    store.WriteString("Identities\\" + key + "\\" + kOE + "\\5.0", "Store Root", *storeRoot);
}

TEST(OEIdentities, DefaultStoreRootHidesTheIdentities) {
  TKeyStore store;
  const std::string root = "C:\\Outlook Express";
  AddIdentity(store, "{A}", "Ann", &root);
  store.WriteString(kOE, "Store Root", " C:\\OE Store\\ ");
  auto ids = ListOf(store);
  EXPECT_EQ(ids.Names, List{"[Default]"});
  EXPECT_EQ(ids.Roots, List{" C:/OE Store/ "});  // as read, not trimmed
}

TEST(OEIdentities, BlankDefaultStoreRootListsNothing) {
  TKeyStore store;
  const std::string root = "C:\\Outlook Express";
  AddIdentity(store, "{A}", "Ann", &root);
  store.WriteString(kOE, "Store Root", " \t ");
  auto ids = ListOf(store);
  EXPECT_TRUE(ids.Names.empty());
  EXPECT_TRUE(ids.Roots.empty());
}

TEST(OEIdentities, NothingConfigured) {
  TKeyStore store;
  EXPECT_TRUE(ListOf(store).Names.empty());
  store.CreateKey("Identities");
  store.CreateKey(kOE);  // a key without "Store Root" lets the identities be read
  EXPECT_TRUE(ListOf(store).Names.empty());
}

TEST(OEIdentities, OneEntryPerIdentityWithPlaceholders) {
  test::ScopedEnv home("QB_OE_HOME", "/home/ann");
  TKeyStore store;
  store.CreateKey(kOE);
  const std::string annRoot = " %QB_OE_HOME%\\Identities\\{B}\\Microsoft\\Outlook Express ";
  const std::string blanks = "   ";
  AddIdentity(store, "{B}", "  Ann  ", &annRoot);
  AddIdentity(store, "{A}", "", nullptr);  // empty name, no store key
  AddIdentity(store, "{C}", "Carl", &blanks);
  store.WriteInteger("Identities\\{D}", "Username", 7);  // not a text: unreadable
  store.WriteInteger("Identities\\{D}\\" + kOE + "\\5.0", "Store Root", 1);
  const std::string plain = "D:\\Mail\\%QB_NOT_SET_ANYWHERE%\\Store";
  AddIdentity(store, "{E}", "Eve", &plain);
  auto ids = ListOf(store);
  // Sorted as the registry enumerates subkeys.
  EXPECT_EQ(ids.Names, (List{"Unknown", "Ann", "Carl", "Unknown", "Eve"}));
  EXPECT_EQ(ids.Roots,
            (List{"[Empty Profile]", "/home/ann/Identities/{B}/Microsoft/Outlook Express",
                  "[Empty Profile]", "[Empty Profile]", "D:/Mail/%QB_NOT_SET_ANYWHERE%/Store"}));
}

TEST(OEIdentities, ExpansionLongerThanTheBufferStaysUnexpanded) {
  test::ScopedEnv longValue("QB_OE_LONG", std::string(1100, 'x'));
  test::ScopedEnv fits("QB_OE_FITS", std::string(1000, 'y'));
  TKeyStore store;
  const std::string tooLong = "%QB_OE_LONG%\\Store";
  const std::string fitting = "%QB_OE_FITS%\\Store";
  AddIdentity(store, "{1}", "Long", &tooLong);
  AddIdentity(store, "{2}", "Fits", &fitting);
  auto ids = ListOf(store);
  EXPECT_EQ(ids.Roots, (List{"%QB_OE_LONG%/Store", std::string(1000, 'y') + "/Store"}));
}

}  // namespace
}  // namespace qb
