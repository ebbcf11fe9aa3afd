#include "app/outlook_stores.h"

#include "outlook/pstprovider.h"
#include "platform/i18n.h"

namespace qb::cli {

std::string TOutlookStores::Open(const std::vector<std::string>& pst) {
  for (const std::string& file : pst)
    if (std::string problem = PstStoreProblem(file); !problem.empty()) return problem;
  provider_.emplace(ole::PstApplicationFactory(pst));
  fill_.Resume();
  fill_.WaitFor();
  if (!fill_.Success())
    return Translate("Outlook is not available: no personal folders file is configured or given");
  return "";
}

}  // namespace qb::cli
