#include "outlook/automation.h"

#include <mutex>
#include <optional>

#include "outlook/pstprovider.h"

namespace qb::ole {

namespace {
std::mutex& ProviderMutex() {
  static std::mutex m;
  return m;
}
// Unset: the .pst provider over the configured stores.
std::optional<TOlApplicationFactory>& Provider() {
  static std::optional<TOlApplicationFactory> provider;
  return provider;
}
}  // namespace

TOlApplicationFactory SetOutlookProvider(TOlApplicationFactory factory) {
  std::lock_guard<std::mutex> lock(ProviderMutex());
  TOlApplicationFactory previous =
      Provider().has_value() ? std::move(*Provider()) : PstApplicationFactory({});
  Provider() = std::move(factory);
  return previous;
}

void CoInitialize() {}

std::shared_ptr<IOlApplication> CreateOleObject(const std::string& progId) {
  if (progId != "Outlook.Application") throw EOleException("Invalid class string");
  TOlApplicationFactory factory;
  {
    std::lock_guard<std::mutex> lock(ProviderMutex());
    factory = Provider().has_value() ? *Provider() : PstApplicationFactory({});
  }
  if (!factory) throw EOleException("Class not registered");
  std::shared_ptr<IOlApplication> app = factory();
  if (!app) throw EOleException("Class not registered");
  return app;
}

}  // namespace qb::ole
