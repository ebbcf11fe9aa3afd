// The stored control values, the window's placement and the remembered
// folder ticks.
//
// Nothing is stored yet: every control keeps its default and every folder
// starts ticked.
#include "wizard/oMain.h"

namespace qb::wiz {

struct TSettingsState {};

template <>
void TPartDeleter<TSettingsState>::operator()(TSettingsState* p) const {
  delete p;
}

void TfrmOEMain::RestoreSettings() {}

void TfrmOEMain::SaveSettings() {}

bool TfrmOEMain::IsFolderSelected(const std::string&, const std::string&) const {
  return true;
}

void TfrmOEMain::StoreFolderSelection(QTreeWidget*, const std::string&) {}

}  // namespace qb::wiz
