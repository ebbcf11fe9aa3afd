// Stored control values, the window placement and the folder selections,
// kept in the per-user key store below "Software\Quillbox".
#include <fcntl.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QSocketNotifier>
#include <QTreeWidget>
#include <QWindow>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <map>
#include <vector>

#include "platform/codepage.h"
#include "platform/keystore.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "wizard/oMain.h"
#include "wizard/settings.h"
#include "wizard/settingslayout.h"

namespace qb::wiz {

// A stored text that could not be used here (a Windows path): the control
// shows its own default, and the stored text is written back unchanged as
// long as the control still shows that default.
struct TKeptText {
  std::string Stored;
  QString Shown;
};

struct TSettingsState {
  std::map<std::string, TKeptText> KeptTexts;  // by control name
};

template <>
void TPartDeleter<TSettingsState>::operator()(TSettingsState* p) const {
  delete p;
}

namespace {

const QDate kDayZero(1899, 12, 30);

QScreen* PrimaryScreen() {
  return QGuiApplication::primaryScreen();
}

QString FromStored(const std::string& bytes) {
  return QString::fromStdString(ToUtf8Edge(bytes));
}

// The window's top edge, where it is grabbed, must be on a screen attached
// now; a stored position on a screen that is gone is not used.
bool PositionOnSomeScreen(const QRect& frame) {
  const QRect grip(frame.left(), frame.top(), frame.width(), std::min(frame.height(), 32));
  for (QScreen* screen : QGuiApplication::screens()) {
    const QRect common = grip & screen->availableGeometry();
    if (common.width() >= std::min(grip.width(), 64) && common.height() >= grip.height() / 2 &&
        !common.isEmpty())
      return true;
  }
  return false;
}

void CentreOnScreen(QWidget& window) {
  QScreen* screen = PrimaryScreen();
  if (!screen) return;
  QRect frame = window.frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  window.move(frame.topLeft());
}

void ApplyPlacement(QWidget& window, const TStoredPlacement& stored) {
  QScreen* screen = PrimaryScreen();
  if (!screen) return;
  const TPlacement& p = stored.Placement;
  if (stored.HasNormPos && p.PixelsPerInch == qRound(screen->logicalDotsPerInch())) {
    // The window has a fixed size: only the stored top-left corner is used.
    QRect frame = window.frameGeometry();
    frame.moveTopLeft(QPoint(p.NormPos.A, p.NormPos.B));
    if (PositionOnSomeScreen(frame))
      window.move(frame.topLeft());
    else
      CentreOnScreen(window);
  }
  switch (ShowStateOf(p.ShowCmd)) {
    case TShowState::Minimized:
      window.setWindowState((window.windowState() & ~Qt::WindowMaximized) | Qt::WindowMinimized);
      break;
    case TShowState::Maximized:
      window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
      break;
    case TShowState::Normal:
      window.setWindowState(window.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
      break;
  }
}

TPlacement CurrentPlacement(const QWidget& window) {
  TPlacement p;
  p.ShowCmd = window.isMinimized() ? 2 : window.isMaximized() ? 3 : 1;
  if (QScreen* screen = PrimaryScreen()) p.PixelsPerInch = qRound(screen->logicalDotsPerInch());
  const QRect frame =
      window.isMaximized() || window.isMinimized()
          ? window.normalGeometry().isValid() ? window.normalGeometry() : window.frameGeometry()
          : window.frameGeometry();
  p.NormPos = {frame.left(), frame.top(), frame.left() + frame.width(),
               frame.top() + frame.height()};
  return p;
}

// Restores one control from its stored text; a text that does not apply
// leaves it as it is.
void RestoreProperty(TfrmOEMain& form, TSettingsState& state, const TStoredProperty& prop,
                     const std::string& text) {
  QWidget* control = form.findChild<QWidget*>(QString::fromLatin1(prop.Control));
  if (!control) return;
  switch (prop.Kind) {
    case TPropKind::Text: {
      auto* edit = qobject_cast<QLineEdit*>(control);
      if (!edit) return;
      if (IsWindowsPath(text)) {
        // The completion sound falls back to the one shipped with the program.
        if (prop.Control == "txtWavFile")
          edit->setText(QString::fromStdString(ProgramDataDir() + "/OnOK.WAV"));
        state.KeptTexts[std::string(prop.Control)] = {text, edit->text()};
        return;
      }
      state.KeptTexts.erase(std::string(prop.Control));
      edit->setText(FromStored(text));
      return;
    }
    case TPropKind::Checked: {
      auto* button = qobject_cast<QAbstractButton*>(control);
      auto checked = DecodeChecked(text);
      if (!button || !checked) return;
      if (*checked && qobject_cast<QRadioButton*>(button) && button->isEnabled())
        button->click();  // as the user would: the group follows, the handler runs
      else
        button->setChecked(*checked);
      return;
    }
    case TPropKind::ItemIndex: {
      auto* combo = qobject_cast<QComboBox*>(control);
      auto index = DecodeInteger(text);
      if (combo && index && *index >= -1 && *index < combo->count()) combo->setCurrentIndex(*index);
      return;
    }
    case TPropKind::Date: {
      auto* picker = qobject_cast<QDateEdit*>(control);
      auto value = DecodeStoredDate(text);
      if (!picker || !value) return;
      const QDate date = kDayZero.addDays(static_cast<qint64>(std::trunc(*value)));
      if (date.isValid() && date >= picker->minimumDate() && date <= picker->maximumDate())
        picker->setDate(date);
      return;
    }
  }
}

std::string SavedProperty(const TfrmOEMain& form, const TSettingsState& state,
                          const TStoredProperty& prop, bool& known) {
  known = true;
  QWidget* control = form.findChild<QWidget*>(QString::fromLatin1(prop.Control));
  if (control) {
    switch (prop.Kind) {
      case TPropKind::Text:
        if (auto* edit = qobject_cast<QLineEdit*>(control)) {
          auto kept = state.KeptTexts.find(std::string(prop.Control));
          if (kept != state.KeptTexts.end() && kept->second.Shown == edit->text())
            return kept->second.Stored;
          return edit->text().toStdString();
        }
        break;
      case TPropKind::Checked:
        if (auto* button = qobject_cast<QAbstractButton*>(control))
          return EncodeChecked(button->isChecked());
        break;
      case TPropKind::ItemIndex:
        if (auto* combo = qobject_cast<QComboBox*>(control))
          return EncodeInteger(combo->currentIndex());
        break;
      case TPropKind::Date:
        if (auto* picker = qobject_cast<QDateEdit*>(control))
          return EncodeStoredDate(static_cast<double>(kDayZero.daysTo(picker->date())));
        break;
    }
  }
  known = false;
  return {};
}

// Every stored control value: the shared list, then the added ones.
std::vector<TStoredProperty> AllStoredProperties() {
  std::vector<TStoredProperty> all(StoredProperties().begin(), StoredProperties().end());
  all.insert(all.end(), AddedStoredProperties().begin(), AddedStoredProperties().end());
  return all;
}

std::string SelectionBaseKey(const std::string& selectionKey) {
  return std::string(kRootKey) + "\\" + selectionKey;
}

// The value name of an item's folder, "" for an item that is not stored.
std::string SelectionName(const TFolderItem& item) {
  if (item.OE) return Trim(item.OE->FileName);
  if (item.Outlook) return IsBlank(item.Outlook->Name) ? std::string() : item.Outlook->Path;
  if (item.NS) return Trim(item.NS->Path);
  if (item.Local && item.Local->Kind != TMailPathKind::None) return item.Local->Path;
  return {};
}

}  // namespace

void TfrmOEMain::RestoreSettings() {
  if (!SettingsState) SettingsState.reset(new TSettingsState);
  try {
    QScreen* screen = PrimaryScreen();
    const QSize size = screen ? screen->geometry().size() : QSize(0, 0);
    auto placement = ReadPlacement(Registry(), size.width(), size.height());
    if (!placement) return;
    ApplyPlacement(*this, *placement);
    for (const TStoredProperty& prop : AllStoredProperties()) {
      try {
        const std::string name = PropertyValueName(prop);
        if (!Registry().ValueExists(kFormKey, name)) continue;
        RestoreProperty(*this, *SettingsState, prop, Registry().ReadString(kFormKey, name));
      } catch (const std::exception&) {
        // a value of another type leaves the control as it is
      }
    }
  } catch (const std::exception&) {
  }
}

void TfrmOEMain::SaveSettings() {
  if (!SettingsState) SettingsState.reset(new TSettingsState);
  TKeyStore& store = Registry();
  try {
    TKeyStore::TBatch batch(store);
    QScreen* screen = PrimaryScreen();
    const QSize size = screen ? screen->geometry().size() : QSize(0, 0);
    WritePlacement(store, CurrentPlacement(*this), size.width(), size.height());
    for (const TStoredProperty& prop : StoredProperties()) {
      bool known = false;
      std::string text = SavedProperty(*this, *SettingsState, prop, known);
      if (known) store.WriteString(kFormKey, PropertyValueName(prop), text);
    }
    // The added values join the shared layout only once they were set: a
    // store never used with them stays as the other programs write it.
    for (const TStoredProperty& prop : AddedStoredProperties()) {
      bool known = false;
      std::string text = SavedProperty(*this, *SettingsState, prop, known);
      const std::string name = PropertyValueName(prop);
      if (known && (text != EncodeChecked(false) || store.ValueExists(kFormKey, name)))
        store.WriteString(kFormKey, name, text);
    }
  } catch (const std::exception&) {
    // a store that cannot be written keeps what it had
  }
}

bool TfrmOEMain::IsFolderSelected(const std::string& selectionKey, const std::string& name) const {
  return ReadFolderSelection(Registry(), SelectionBaseKey(selectionKey), name);
}

void TfrmOEMain::StoreFolderSelection(QTreeWidget* tree, const std::string& selectionKey) {
  if (!tree) return;
  const std::string base = SelectionBaseKey(selectionKey);
  try {
    TKeyStore::TBatch batch(Registry());
    for (TFolderItem* item : AllFolderItems(tree)) {
      const std::string name = SelectionName(*item);
      if (!name.empty()) WriteFolderSelection(Registry(), base, name, item->Ticked());
    }
  } catch (const std::exception&) {
  }
}

// ---------------------------------------------------------------------------
// Termination by a signal

namespace {

int gSignalPipe[2] = {-1, -1};
// How long a termination waits for an active run to stop.
constexpr int kStopWaitMs = 10000;

void OnTerminationSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] ssize_t n = ::write(gSignalPipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

void SaveOnTerminationSignals(TfrmOEMain& form) {
  if (gSignalPipe[0] < 0) {
    if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  }
  auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, &form);
  QObject::connect(notifier, &QSocketNotifier::activated, &form, [&form, notifier] {
    char buf[16];
    while (::read(gSignalPipe[0], buf, sizeof buf) > 0) {
    }
    notifier->setEnabled(false);
    // What a confirmed close stores, first, so it is kept even when the
    // program is killed soon after; then a run is asked to stop and the
    // program ends without asking.
    form.SaveSettings();
    form.StoreExtensionLists();
    if (form.Running) {
      form.StopRequested = 1;
      QDeadlineTimer deadline(kStopWaitMs);
      while (form.Running && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    QCoreApplication::quit();
  });
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
}

}  // namespace qb::wiz
