#include "outlook/oOutlookThrd.h"

#include "engine/datetext.h"
#include "engine/history.h"
#include "web/workerlinks.h"

namespace qb {

namespace {

class TOutlookCursor : public IFolderCursor {
 public:
  TOutlookCursor(std::shared_ptr<ole::IOlItems> items, std::size_t count)
      : items_(std::move(items)), count_(count) {}

  std::size_t Count() const override { return count_; }

  void Read(std::size_t j, TSourceMessage& m, const std::function<void()>&) override {
    std::shared_ptr<ole::IOlMailItem> item = items_->Item(static_cast<int>(j + 1));
    if (!item) throw ole::EOleException("The item cannot be opened.");
    // The history key: every recipient's address, the received time and the
    // subject, run together.
    std::shared_ptr<ole::IOlRecipients> recipients = item->Recipients();
    const int recipientCount = recipients->Count();
    for (int r = 1; r <= recipientCount; ++r)
      m.KeyText += recipients->Item(r)->AddressEntry()->Address();
    const TDateTime received = item->ReceivedTime();
    const std::string subject = item->Subject();
    m.KeyText += DateTimeText(received) + subject;

    m.Describe = [item, recipients, recipientCount, received, subject](TMessageContent& c) {
      c.Date = received;
      c.Subject = subject;
      c.Sender = item->SenderName();
      std::shared_ptr<ole::IOlAttachments> attachments = item->Attachments();
      const int attachmentCount = attachments->Count();
      for (int k = 1; k <= attachmentCount; ++k) {
        std::shared_ptr<ole::IOlAttachment> attachment = attachments->Item(k);
        c.Attachments.push_back({attachment->Text(), [attachment](const std::string& path) {
                                   attachment->SaveAsFile(path);
                                   return true;
                                 }});
      }
      // The plain body's links first, then the HTML body's.
      c.LinkBodies = [item] { return std::vector<std::string>{item->Body(), item->HTMLBody()}; };
      // The sender has no address here: the recipients and the HTML body's.
      c.Addresses = [item, recipients, recipientCount](IAddressHarvest& h) {
        for (int r = 1; r <= recipientCount; ++r)
          h.AddAddress(recipients->Item(r)->AddressEntry()->Address());
        h.AddHTMLTargets(item->HTMLBody());
      };
      return true;
    };
  }

 private:
  std::shared_ptr<ole::IOlItems> items_;
  const std::size_t count_;
};

}  // namespace

TOutlookSource::~TOutlookSource() {
  Disconnect();
}

std::string TOutlookSource::HistoryPath() const {
  return kOutlookHistoryPath;
}

bool TOutlookSource::Connect() {
  try {
    ole::CoInitialize();
    app_ = ole::CreateOleObject("Outlook.Application");
    ns_ = app_->GetNameSpace("MAPI");
    return true;
  } catch (const std::exception&) {
    Disconnect();
    return false;
  }
}

void TOutlookSource::Disconnect() {
  ns_.reset();
  app_.reset();
}

std::unique_ptr<IFolderCursor> TOutlookSource::OpenFolder(const TJobFolder& folder) {
  try {
    std::shared_ptr<ole::IOlFolder> f = ns_->GetFolderFromID(folder.EntryID);
    std::shared_ptr<ole::IOlItems> items = f->Items();
    const int count = items->Count();
    return std::make_unique<TOutlookCursor>(std::move(items),
                                            count > 0 ? static_cast<std::size_t>(count) : 0);
  } catch (const std::exception& e) {
    throw TFolderReadError(e.what(), 0);
  }
}

TOutlookExtracter::TOutlookExtracter(const TExtractionJob& job, TLinkDownloadOptions linkOptions)
    : TExtractionWorker(job, std::make_unique<TOutlookSource>(),
                        MakeRunServices(job, std::move(linkOptions))) {}

}  // namespace qb
