#include "tests/wizard/wizardtest.h"

#include <map>

#include <QPushButton>
#include <QRadioButton>
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

TSources::TSources(TWindow& w)
    : StoreDir(Dir / "Main Identity"),
      Outlook(std::make_shared<ole::TFakeOutlook>()),
      UseOutlook(Outlook->Factory()) {
  WriteStore(StoreDir,
             {Folder(1, 0, "Inbox", "Inbox.dbx"), Folder(2, 1, "Invoices", "Invoices.dbx"),
              Folder(3, 0, "Sent Items", "Sent Items.dbx")});
  AddIdentity(w.Store, "{00000000-0000-0000-0000-000000000001}", "Main Identity", StoreDir);
  ole::TFakeFolder& store = Outlook->AddStore("Personal Folders");
  store.AddFolder("Inbox");
  store.AddFolder("Sent Items");
}

std::string WalkTo(TWindow& w, const std::string& source, const std::string& page) {
  w->findChild<QRadioButton*>(QString::fromStdString(source))->setChecked(true);
  const bool ns = source == "rbNS" || source == "rbTB";
  const bool outlook = source == "rbOutlook";
  std::vector<std::string> path;
  if (ns)
    path = {"NetscapeChoose", "NSFolderSelect", "Options", "Options2", "Processing"};
  else if (outlook)
    path = {"OutlookChoose", "Options", "Options2", "Processing"};
  else
    path = {"OEChoose", "OEFolderSelect", "Options", "Options2", "Processing"};
  for (const std::string& step : path) {
    if (w.Page() == page) break;
    if (step == "NetscapeChoose" || step == "NSFolderSelect") {
      w->ShowPage(w->Page(QString::fromStdString(step)));
      w->btBack->setEnabled(true);
    } else if (w.Next() != step) {
      break;
    }
  }
  // A run goes on in the background: wait for its end.
  if (w.Page() == "Processing") {
    QDeadlineTimer deadline(30000);
    while (w->Running && !deadline.hasExpired())
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return w.Page();
}

wiz::TFolderItem* AddFolder(QTreeWidget* tree, wiz::TFolderItem* parent, const QString& text,
                            bool checkBox) {
  auto* item = new wiz::TFolderItem;
  item->setText(0, text);
  if (parent)
    parent->addChild(item);
  else
    tree->addTopLevelItem(item);
  item->SetCheckBox(true);
  item->SetTicked(true);
  if (!checkBox) item->SetCheckBox(false);
  return item;
}

std::string TickedItems(QListWidget* list) {
  std::string out;
  for (int i = 0; i < list->count(); ++i)
    if (list->item(i)->checkState() == Qt::Checked)
      out += (out.empty() ? "" : ",") + Trim(list->item(i)->text().toStdString());
  return out;
}

}  // namespace qb::wiztest
