// The small windows and services around the main window: the About box, the
// small progress window, the product's artwork, the help manual, the
// project's page for reports, and the idle priority of the process.
#pragma once

#include <string>

#include <QDialog>
#include <QIcon>
#include <QPixmap>

class QLabel;
class QPushButton;

namespace qb {
class TKeyStore;
}

namespace qb::wiz {

inline constexpr const char* kProductName = "Quillbox";
inline constexpr const char* kProductVersion = "2.0";
// The window caption: product and version.
inline constexpr const char* kProductTitle = "Quillbox 2.0";
// Where "Report a problem" and "Send a Suggestion" lead.
inline constexpr const char* kSupportUrl = "https://quillbox.org/support";

// The About box: product, version and a few words; "Thanks" (the default
// button, so Enter) closes it.
class TfrmAbout : public QDialog {
 public:
  explicit TfrmAbout(QWidget* parent = nullptr);
  QPushButton* btThanks;
};

// The small stay-on-top window with one status line. While shown it disables
// the window it was created for (its owner, which deletes it).
class TfrmProgress : public QWidget {
 public:
  explicit TfrmProgress(QWidget* owner);
  void ShowProgress(const QString& caption, const QString& text);
  void SetStatus(const QString& text);
  void HideProgress();
  QString Status() const;

 private:
  QWidget* owner_;
  QLabel* lbStatus_;
};

// The product's icon (window, tray) and the picture strip of the main window,
// both painted in code.
QIcon ProductIcon();
QPixmap PictureStrip(int width, int height);

// The user manual: index.html in the help folder of the program's data.
std::string HelpFilePath();

// Runs the process (every thread running now and every thread started from
// now on) at the lowest priority and notes it under "Software\Quillbox" as
// "debugThreadMode" = "idle".
void SetIdlePriority(TKeyStore& store);

}  // namespace qb::wiz
