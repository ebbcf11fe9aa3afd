#include "outlook/oOutlookThrd.h"

#include "engine/datetext.h"
#include "engine/history.h"
#include "web/addresses.h"
#include "web/workerlinks.h"

namespace qb {

TOutlookExtracter::TOutlookExtracter(const TExtractionJob& job, TLinkDownloadOptions linkOptions)
    : TExtractionWorker(job) {
  SetUpSource(TSourceKind::Outlook,
              std::make_unique<TWorkerLinks>(job_.LinkLists, std::move(linkOptions)),
              kOutlookHistoryPath);
  if (job_.HarvestAddresses) Addresses = std::make_unique<TAddressHarvester>();
}

TOutlookExtracter::~TOutlookExtracter() {
  Disconnect();
}

bool TOutlookExtracter::Connect() {
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

void TOutlookExtracter::Disconnect() {
  items_.reset();
  ns_.reset();
  app_.reset();
}

std::size_t TOutlookExtracter::LoadMessageList(const TJobFolder& folder) {
  items_.reset();
  try {
    std::shared_ptr<ole::IOlFolder> f = ns_->GetFolderFromID(folder.EntryID);
    items_ = f->Items();
    const int count = items_->Count();
    return count > 0 ? static_cast<std::size_t>(count) : 0;
  } catch (const std::exception& e) {
    items_.reset();
    throw TFolderReadError(e.what(), 0);
  }
}

void TOutlookExtracter::ProcessMessage(std::size_t, const TJobFolder& folder, std::size_t j,
                                       std::size_t count) {
  try {
    if (!items_) throw ole::EOleException("No folder is open.");
    std::shared_ptr<ole::IOlMailItem> item = items_->Item(static_cast<int>(j + 1));
    if (!item) throw ole::EOleException("The item cannot be opened.");
    ProcessItem(*item, folder, j, count);
  } catch (const std::exception&) {
    MessageError(folder, j);
  }
}

void TOutlookExtracter::ProcessItem(ole::IOlMailItem& item, const TJobFolder& folder, std::size_t j,
                                    std::size_t count) {
  Pause();
  // The history key: every recipient's address, the received time and the
  // subject, run together.
  std::string keyText;
  std::shared_ptr<ole::IOlRecipients> recipients = item.Recipients();
  const int recipientCount = recipients->Count();
  for (int r = 1; r <= recipientCount; ++r)
    keyText += recipients->Item(r)->AddressEntry()->Address();
  const TDateTime received = item.ReceivedTime();
  const std::string subject = item.Subject();
  keyText += DateTimeText(received) + subject;

  ExtractMessage(folder, j, count, keyText, [&](TMessageContent& m) {
    m.Date = received;
    m.Subject = subject;
    m.Sender = item.SenderName();
    std::shared_ptr<ole::IOlAttachments> attachments = item.Attachments();
    const int attachmentCount = attachments->Count();
    for (int k = 1; k <= attachmentCount; ++k) {
      std::shared_ptr<ole::IOlAttachment> attachment = attachments->Item(k);
      m.Attachments.push_back({attachment->Text(), [attachment](const std::string& path) {
                                 attachment->SaveAsFile(path);
                                 return true;
                               }});
    }
    // The plain body's links first, then the HTML body's.
    m.LinkBodies = [&item] { return std::vector<std::string>{item.Body(), item.HTMLBody()}; };
    // The sender has no address here: the recipients and the HTML body's.
    m.Addresses = [&item, &recipients, recipientCount](IAddressHarvest& h) {
      for (int r = 1; r <= recipientCount; ++r)
        h.AddAddress(recipients->Item(r)->AddressEntry()->Address());
      h.AddHTMLTargets(item.HTMLBody());
    };
    return true;
  });
}

}  // namespace qb
