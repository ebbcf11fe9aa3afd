// A winmail.dat in a run: the files it carries are written beside it by the
// same rules as every attachment; a damaged one gives what it can, one log
// line, and costs none of the message's other attachments.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/tnefunpack.h"
#include "engine/worker.h"
#include "mime/MoxMsg.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

using TMessageMaker = std::function<bool(TMessageContent&, TMoxMsg&)>;

// One folder, "Inbox", of the messages given.
class TnefSource : public TExtractionWorker {
 public:
  TnefSource(const TExtractionJob& job, std::vector<TMessageMaker> messages)
      : TExtractionWorker(job), messages_(std::move(messages)) {
    SetUpSource(TSourceKind::Thunderbird, nullptr, "Quillbox/Test/History.ini");
  }
  using TExtractionWorker::DecodeRawMessage;

 protected:
  bool FolderHasSource(const TJobFolder&) const override { return true; }
  std::size_t LoadMessageList(const TJobFolder&) override { return messages_.size(); }
  void ProcessMessage(std::size_t, const TJobFolder& f, std::size_t j, std::size_t count) override {
    TMoxMsg msg;
    ExtractMessage(f, j, count, "message " + std::to_string(j),
                   [&](TMessageContent& m) { return messages_[j](m, msg); });
  }

 private:
  std::vector<TMessageMaker> messages_;
};

TAttachmentToWrite Streamed(const std::string& name, const std::string& bytes,
                            const std::string& type = "") {
  TAttachmentToWrite a;
  a.FileName = name;
  a.Stream = [bytes](const TWriteBytes& write) { return write(bytes.data(), bytes.size()); };
  a.MimeType = type;
  return a;
}

TEST(TnefUnpack, CarriedFilesAreWrittenBesideTheWinmailDatByTheSameRules) {
  const std::string richText =
      test::ReadFile(test::RefDataDir() + "/mail/mimekit/tnef/rich-text.eml");
  const std::string clam = test::ReadFile(test::TestDataDir("mime") + "/clam.tnef");
  // The real message's winmail.dat, cut short inside the picture's
  // properties, as a source that knows the part's type gives it.
  TMoxMsg parsed;
  parsed.LoadRawMail(richText);
  parsed.ParseRawMail();
  ASSERT_EQ(parsed.Attachments.Count(), 1);
  const std::string cut = parsed.Attachments[0].Bytes().substr(0, 421000);

  const std::vector<TMessageMaker> messages = {
      // 0: the real message, parsed as the mail sources parse it.
      [&](TMessageContent& m, TMoxMsg& msg) {
        return TnefSource::DecodeRawMessage(std::string(richText), msg, m);
      },
      // 1: a damaged stream between two other attachments.
      [&](TMessageContent& m, TMoxMsg&) {
        m.Attachments = {Streamed("intro.txt", "first"),
                         Streamed("winmail.dat", cut, "application/ms-tnef; x=1"),
                         Streamed("notes.txt", "last")};
        return true;
      },
      // 2: saved by its source (as Outlook saves), known by its name only.
      [&](TMessageContent& m, TMoxMsg&) {
        TAttachmentToWrite a;
        a.FileName = "WINMAIL.DAT";
        a.Save = [&clam](const std::string& path) {
          test::WriteFile(path, clam);
          return true;
        };
        m.Attachments = {a};
        return true;
      },
  };

  const std::string lineCut =
      "Damaged TNEF Attachment winmail.dat of Message(1) in Inbox - the stream is cut short";
  const std::string lineClam =
      "Damaged TNEF Attachment WINMAIL.DAT of Message(2) in Inbox - an attribute's checksum does "
      "not match";
  const std::string d0 = "thunderbird/2018.12.15/", d = "thunderbird/1899.12.30/";
  const std::string kitten = "kitten-playing-with-a-christmas-tree.jpg";
  struct Case {
    const char* Name;
    std::vector<std::string> Exclude, Include;
    std::vector<std::string> Tree;
    int Extracted;
  };
  const std::vector<Case> cases = {
      // The picture comes twice in the real message: the same bytes, one
      // file. The attached message's note has no extension.
      {"no lists",
       {},
       {},
       {d + "KITTEN~1.JPG", d + "WINMAIL.DAT", d + "clam.exe", d + "intro.txt", d + "notes.txt",
        d + "winmail.dat", d0 + kitten, d0 + "winmail.dat"},
       9},
      {"winmail.dat excluded as any .dat file",
       {".DAT"},
       {},
       {d + "KITTEN~1.JPG", d + "clam.exe", d + "intro.txt", d + "notes.txt", d0 + kitten},
       6},
      {"only pictures", {}, {".JPG"}, {d + "KITTEN~1.JPG", d0 + kitten}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    test::TempDir root;
    test::ScopedEnv data("XDG_DATA_HOME", root / "appdata");
    test::RecordingView view;
    TExtractionJob job;
    job.DestinationDir = root / "out";
    job.Folders = {{"Inbox", "Inbox", "", ""}};
    job.PauseMs = 0;
    job.FullFileName = false;
    job.ExcludeExt = c.Exclude;
    job.AllFiles = c.Include.empty();
    job.IncludeExt = c.Include;
    job.View = &view;
    TnefSource worker(job, messages);
    worker.Resume();
    worker.WaitFor();
    ASSERT_FALSE(worker.FatalException);
    EXPECT_EQ(test::ListTree(root / "out"), c.Tree);
    EXPECT_EQ(std::count(view.Log.begin(), view.Log.end(), lineCut), 1);
    EXPECT_EQ(std::count(view.Log.begin(), view.Log.end(), lineClam), 1);
    EXPECT_EQ(std::count_if(view.Log.begin(), view.Log.end(),
                            [](const std::string& l) { return l.rfind("Damaged", 0) == 0; }),
              2);
    ASSERT_EQ(view.Rows.size(), 1u);
    EXPECT_EQ(view.Rows[0].Extracted, c.Extracted);
    EXPECT_EQ(view.Rows[0].Messages, 3);
    if (c.Include.empty()) {
      EXPECT_EQ(test::ReadFile(root / "out" + "/" + d + "notes.txt"), "last");
    }
    if (c.Exclude.empty() && c.Include.empty()) {
      // Written whole from what was read to unpack it.
      EXPECT_EQ(test::ReadFile(root / "out" + "/" + d0 + "winmail.dat"),
                parsed.Attachments[0].Bytes());
    }
  }
}

TEST(TnefUnpack, OnlyTnefAttachmentsAreOpened) {
  struct Case {
    const char* Name;
    TAttachmentToWrite Attachment;
    bool MayBe;
    std::size_t After;  // attachments in the list afterwards
    std::vector<std::string> Notes;
  };
  const std::string clam = test::ReadFile(test::TestDataDir("mime") + "/clam.tnef");
  const std::string bad = "an attribute's checksum does not match";
  const std::vector<Case> cases = {
      {"by name", Streamed("winmail.dat", clam), true, 2, {bad}},
      {"by name with a path", Streamed("C:\\Temp\\Winmail.Dat", clam), true, 2, {bad}},
      {"by type", Streamed("ATT00001.bin", clam, "Application/MS-TNEF"), true, 2, {bad}},
      {"by the other type", Streamed("x", clam, "application/vnd.ms-tnef"), true, 2, {bad}},
      {"another name", Streamed("mail.dat", clam), false, 1, {}},
      {"a picture called winmail.dat", Streamed("winmail.dat", "\x89PNG\r\n"), true, 1, {}},
      {"declared but no stream",
       Streamed("winmail.dat", "\x89PNG\r\n", "application/ms-tnef"),
       true,
       1,
       {"the stream does not begin with the TNEF signature"}},
      {"unreadable", TAttachmentToWrite{"winmail.dat"}, true, 1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(MayBeTnef(c.Attachment), c.MayBe);
    std::vector<TAttachmentToWrite> list = {c.Attachment};
    std::vector<std::string> notes;
    for (const TTnefNote& n : UnpackTnefAttachments(list)) notes.push_back(n.Damage);
    EXPECT_EQ(list.size(), c.After);
    EXPECT_EQ(notes, c.Notes);
    if (c.After == 2) {
      EXPECT_EQ(list[1].FileName, "clam.exe");
    }
  }
}

}  // namespace
}  // namespace qb
