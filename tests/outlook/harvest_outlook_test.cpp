// "Get Email addresses from the Mails" in an Outlook run: the recipients'
// addresses and the HTML body's "mailto:" targets are kept; the files and
// the log are those of a run without the choice.
#include <gtest/gtest.h>

#include "tests/outlook/outlook_test_util.h"

namespace qb {
namespace {

TEST(OutlookHarvest, RecipientsAndHtmlTargetsWithoutChangingTheRun) {
  auto o = std::make_shared<ole::TFakeOutlook>();
  ole::TFakeFolder& inbox = o->AddStore("S").AddFolder("Inbox");
  ole::TFakeMail m;
  m.Subject = "Offer";
  m.SenderName = "Ann Sender";
  m.Recipients = {"Bob@Example.com", "carol@example.org", "not an address"};
  m.ReceivedTime = EncodeDate(2003, 9, 21);
  m.HTMLBody = "<p><a href=\"mailto:sales@example.com?subject=x\">write</a></p>";
  m.Attachments = {{"offer.pdf", "PDF", false}};
  inbox.Items = {m, m};
  inbox.Items[1].Recipients = {"bob@example.com"};
  ole::TScopedOutlookProvider use(o->Factory());

  auto run = [](bool harvest, test::TOutlookRun& r) {
    r.Choose(test::ListFolders(), {"SInbox"});
    r.Job.HarvestAddresses = harvest;
    r.Run();
  };
  test::TOutlookRun off, on;
  run(false, off);
  run(true, on);
  EXPECT_EQ(on.View.Log, off.View.Log);
  EXPECT_EQ(test::ListTree(on.Out()), test::ListTree(off.Out()));
  EXPECT_FALSE(test::ListTree(on.Out()).empty());
  EXPECT_EQ(test::ReadFile(on.Dir / "appdata/Quillbox/GrabbedEmails.txt"),
            "Bob@Example.com\ncarol@example.org\nsales@example.com\n");
  for (const std::string& f : test::ListTree(off.Dir / "appdata"))
    EXPECT_EQ(f.find("GrabbedEmails"), std::string::npos) << f;
}

}  // namespace
}  // namespace qb
