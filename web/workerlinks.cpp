#include "web/workerlinks.h"

#include "web/addresses.h"

namespace qb {

TRunServices MakeRunServices(const TExtractionJob& job, TLinkDownloadOptions linkOptions) {
  TRunServices s;
  s.Links = std::make_unique<TWorkerLinks>(job.LinkLists, std::move(linkOptions));
  if (job.HarvestAddresses) s.Addresses = std::make_unique<TAddressHarvester>();
  return s;
}

}  // namespace qb
