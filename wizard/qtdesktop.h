// The desktop seam over Qt's dialogs and QDesktopServices.
#pragma once

#include <functional>

#include "wizard/desktop.h"

namespace qb::wiz {

class TQtDesktop : public IDesktop {
 public:
  void ShowError(QWidget* parent, const QString& text) override;
  bool Confirm(QWidget* parent, const QString& text) override;
  std::optional<QString> InputText(QWidget* parent, const QString& caption, const QString& prompt,
                                   const QString& initial) override;
  std::optional<QString> BrowseDirectory(QWidget* parent, const QString& caption,
                                         const QString& initial) override;
  std::optional<QString> OpenFile(QWidget* parent, const QString& caption, const QString& filter,
                                  const QString& initial) override;
  std::optional<QString> OpenFileOrDirectory(QWidget* parent, const QString& caption,
                                             const QString& filter,
                                             const QString& initial) override;
  std::optional<QString> SaveFile(QWidget* parent, const QString& caption, const QString& filter,
                                  const QString& initial) override;
  void OpenPath(const QString& pathOrUrl) override;
  void PlaySound(const QString& file) override;
  void ShowAbout(QWidget* parent) override;

  // Plays a sound file to its end; set by the program to the event-sound
  // player. Unset: no sound.
  std::function<void(const QString& file)> SoundPlayer;
};

}  // namespace qb::wiz
