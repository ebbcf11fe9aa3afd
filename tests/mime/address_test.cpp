// Addresses, address lists and the text forms of the recipient lists.
#include <gtest/gtest.h>

#include "mime/MoxMsg.h"

namespace qb {
namespace {

TEST(ParseMailAddress, NameAndAddressForms) {
  TMailAddress a = ParseMailAddress("  \"Joe Bloggs\" <joe@x.org> ");
  EXPECT_EQ(a.Name, "Joe Bloggs");
  EXPECT_EQ(a.Address, "joe@x.org");
  a = ParseMailAddress("<joe@x.org>");
  EXPECT_EQ(a.Name, "");
  EXPECT_EQ(a.Address, "joe@x.org");
  a = ParseMailAddress("joe@x.org");
  EXPECT_EQ(a.Name, "");
  EXPECT_EQ(a.Address, "joe@x.org");
  // No closing ">": the whole text is the name.
  a = ParseMailAddress("Joe <joe@x.org");
  EXPECT_EQ(a.Name, "Joe <joe@x.org");
  EXPECT_EQ(a.Address, "");
  a = ParseMailAddress("Joe > x <joe");
  EXPECT_EQ(a.Address, "");
  a = ParseMailAddress("<joe@x.org");
  EXPECT_EQ(a.Name, "");
  // Text after ">" stays part of the name.
  a = ParseMailAddress("Joe <joe@x.org> Bloggs");
  EXPECT_EQ(a.Name, "Joe  Bloggs");
}

TEST(ParseAddressList, CommasInNamesAndTrailingCommas) {
  TAddressList l;
  ParseAddressList("Bloggs, Joe <joe@x.org>", l);
  ASSERT_EQ(l.Count(), 1);
  EXPECT_EQ(l.Items(0).Name, "Bloggs, Joe");
  l.Clear();
  ParseAddressList("a@x.org, b@y.org", l);
  ASSERT_EQ(l.Count(), 2);
  EXPECT_EQ(l.Items(1).Address, "b@y.org");
  l.Clear();
  ParseAddressList("a@x.org, b@y.org , ", l);
  ASSERT_EQ(l.Count(), 2);
  EXPECT_EQ(l.Items(0).Address, "a@x.org");
  EXPECT_EQ(l.Items(1).Address, "b@y.org");
  l.Clear();
  ParseAddressList("   ", l);
  EXPECT_EQ(l.Count(), 0);
  // Without any "@", every comma ends an address.
  ParseAddressList("a, b, c", l);
  EXPECT_EQ(l.Count(), 3);
}

TEST(ParseAddressList, ManyCommasWithoutAtStayCheap) {
  std::string s(2000000, ',');
  TAddressList l;
  ParseAddressList(s, l);
  EXPECT_EQ(l.Count(), 2000000);
}

TEST(AddressListText, GetterSetterAndAssign) {
  TMoxMsg m;
  m.SendToList.Add({"  Joe  ", " joe@x.org "});
  m.SendToList.Add({"", "ann@y.org"});
  EXPECT_EQ(m.SendTo(), "\"Joe\" <joe@x.org>,<ann@y.org>");
  m.SetSendTo("c@z.org");  // appends
  EXPECT_EQ(m.SendToList.Count(), 3);
  m.SetCC("\"Q\" <q@z.org>");
  EXPECT_EQ(m.CC(), "\"Q\" <q@z.org>");
  EXPECT_EQ(m.BCC(), "");
  TAddressList copy;
  copy.Add({"old", "old@x"});
  copy.Assign(m.SendToList);
  EXPECT_EQ(copy.Count(), 3);
  EXPECT_EQ(copy.Items(0).Name, "  Joe  ");

  EXPECT_FALSE(TAddressList().HasItemsToStore());
  auto pairs = copy.StoreItems();
  ASSERT_EQ(pairs.size(), 6u);
  EXPECT_EQ(pairs[1], " joe@x.org ");
  TAddressList back;
  back.Add({"x", "y"});
  back.LoadItems(pairs);
  EXPECT_EQ(AddressListText(back), AddressListText(copy));
}

TEST(TMoxMsgDefaults, LocalHostAndDefaults) {
  TMoxMsg m;
  EXPECT_EQ(m.LocalHost(), "a.b.c");
  m.SetLocalHost("mail.example");
  EXPECT_EQ(m.LocalHost(), "mail.example");
  m.SetLocalHost("   ");
  EXPECT_EQ(m.LocalHost(), "a.b.c");
  EXPECT_EQ(m.CharSet, "iso-8859-1");
  EXPECT_TRUE(m.ClearRawMailAfterParse);
  EXPECT_EQ(m.Priority, prNormal);
  EXPECT_EQ(m.TextEncoding, te8Bit);
  EXPECT_FALSE(m.Attachments.Throttled);
}

TEST(CollectAddressHeader, FieldsContinuationsAndQuotedCommas) {
  TStringList h{"To: \"Bloggs, Joe\" <joe@x.org>, ann@y.org,", "   bob@z.org", "Subject: hi",
                "TO: second@x.org", "Cc: not@me"};
  TStringList items = CollectAddressHeader("TO", h);
  EXPECT_EQ(items,
            (TStringList{"\"Bloggs, Joe\" <joe@x.org>", "ann@y.org", "bob@z.org", "second@x.org"}));
  // A starting line without ":" ends the walk.
  TStringList stop{"To: a@x", "Subject: s", "Tofu without colon", "To: b@x"};
  EXPECT_EQ(CollectAddressHeader("TO", stop), (TStringList{"a@x"}));
}

}  // namespace
}  // namespace qb
