// What an extraction run uses of this library: the link download, with the
// downloader made on first use with the job's extension lists, and the
// address collecting when the job asks for it.
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

// The link download of the job (linkOptions: tests put their own URL list
// and fetcher there) and, when the job collects addresses, the collecting
// into the stored address list.
TRunServices MakeRunServices(const TExtractionJob& job, TLinkDownloadOptions linkOptions = {});

}  // namespace qb
