// Everything the window does that is modal or leaves the program: message
// boxes, the small input dialogs, the file and directory choosers, handing a
// path or URL to the desktop, playing a sound and the About box. The program
// uses TQtDesktop; the tests use TFakeDesktop, which records each call and
// answers from a script.
#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace qb::wiz {

class IDesktop {
 public:
  virtual ~IDesktop() = default;

  // An error message with a single OK button.
  virtual void ShowError(QWidget* parent, const QString& text) = 0;
  // A question with Yes and No, Yes the default button. True for Yes.
  virtual bool Confirm(QWidget* parent, const QString& text) = 0;
  // A one-line input box with OK and Cancel; nullopt on Cancel.
  virtual std::optional<QString> InputText(QWidget* parent, const QString& caption,
                                           const QString& prompt, const QString& initial) = 0;
  // A directory browser preset with initial; nullopt on Cancel.
  virtual std::optional<QString> BrowseDirectory(QWidget* parent, const QString& caption,
                                                 const QString& initial) = 0;
  // File dialogs. filter is written as "Name|*.ext|All Files|*.*" (pairs of
  // description and pattern list joined by '|'); nullopt on Cancel.
  virtual std::optional<QString> OpenFile(QWidget* parent, const QString& caption,
                                          const QString& filter, const QString& initial) = 0;
  // A file dialog that takes a directory too: a file is chosen as in
  // OpenFile; a directory by opening it and choosing with no file selected.
  virtual std::optional<QString> OpenFileOrDirectory(QWidget* parent, const QString& caption,
                                                     const QString& filter,
                                                     const QString& initial) = 0;
  virtual std::optional<QString> SaveFile(QWidget* parent, const QString& caption,
                                          const QString& filter, const QString& initial) = 0;
  // Opens a file, a directory or a URL with the desktop's default program.
  // Failures are not reported.
  virtual void OpenPath(const QString& pathOrUrl) = 0;
  // Plays a sound file and returns when it has finished. No sound device
  // means silence, never an error.
  virtual void PlaySound(const QString& file) = 0;
  // The About box, modal; parent may be nullptr (before the main window).
  virtual void ShowAbout(QWidget* parent) = 0;
};

// "Name|*.a;*.b|All Files|*.*" as a Qt file-dialog filter:
// "Name (*.a *.b);;All Files (*)".
QString QtFileFilter(const QString& filter);

}  // namespace qb::wiz
