#include "tests/wizard/wizardtest.h"

#include <map>

#include <QPushButton>
#include <QTreeWidget>

namespace qb::wiztest {

namespace {
std::map<std::string, std::function<QObject*()>>& Registry() {
  static std::map<std::string, std::function<QObject*()>> registry;
  return registry;
}
}  // namespace

int RegisterTestClass(const char* name, std::function<QObject*()> make) {
  Registry()[name] = std::move(make);
  return 0;
}

std::map<std::string, std::function<QObject*()>>& TestClasses() {
  return Registry();
}

wiz::TWizardOptions TestOptions() {
  wiz::TWizardOptions o;
  o.PstOutlook = false;
  o.OutlookInitialWaitMs = 0;
  o.IdlePriority = false;
  o.PauseMs = 0;
  return o;
}

TWindow::TWindow(wiz::TWizardOptions options)
    : Window(std::make_unique<wiz::TfrmOEMain>(Desktop, Store, options)) {}

TWindow::~TWindow() = default;

std::string TWindow::Next() {
  Window->btNext->click();
  return Page();
}

std::string TWindow::Back() {
  Window->btBack->click();
  return Page();
}

std::string TWindow::Page() const {
  return Window->CurrentPageName().toStdString();
}

void AddIdentity(TKeyStore& store, const std::string& guid, const std::string& name,
                 const std::string& storeRoot) {
  const std::string key = "Identities\\" + guid;
  store.WriteString(key, "Username", name);
  if (!storeRoot.empty())
    store.WriteString(key + "\\Software\\Microsoft\\Outlook Express\\5.0", "Store Root", storeRoot);
}

TDbxSynthFolder Folder(int id, int parent, const std::string& name, const std::string& file) {
  TDbxSynthFolder f;
  f.Id = id;
  f.ParentId = parent;
  f.Name = name;
  f.FileName = file;
  return f;
}

void WriteStore(const std::string& dir, const std::vector<TDbxSynthFolder>& folders) {
  WriteDbxStore(dir, folders);
}

std::vector<std::string> TreeTexts(QTreeWidget* tree) {
  std::vector<std::string> out;
  for (QTreeWidgetItemIterator it(tree); *it; ++it) {
    int depth = 0;
    for (QTreeWidgetItem* p = (*it)->parent(); p; p = p->parent()) ++depth;
    out.push_back(std::string(2 * depth, ' ') + (*it)->text(0).toStdString());
  }
  return out;
}

}  // namespace qb::wiztest
