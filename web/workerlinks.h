// The link download as an extraction worker uses it: the downloader is made
// on first use, with the job's extension lists.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/job.h"
#include "engine/worker.h"
#include "web/linkdownload.h"

namespace qb {

class TWorkerLinks : public ILinkDownloads {
 public:
  TWorkerLinks(TExtensionListsSnapshot lists, TLinkDownloadOptions options)
      : lists_(std::move(lists)), options_(std::move(options)) {}

  std::size_t CountLinks(const std::string& text) override {
    TStringList list;
    Downloader().GetDownloadLinks(text, list);
    return list.size();
  }
  TResult Download(const TTargetPath& target, const std::vector<std::string>& bodies,
                   const TRun& run) override {
    return Downloader().DownloadMessageLinks(target, bodies, run);
  }

 private:
  TLinkDownloader& Downloader() {
    if (!downloader_) downloader_ = std::make_unique<TLinkDownloader>(lists_, options_);
    return *downloader_;
  }

  TExtensionListsSnapshot lists_;
  TLinkDownloadOptions options_;
  std::unique_ptr<TLinkDownloader> downloader_;
};

}  // namespace qb
