// A scripted desktop for the window tests: every call is recorded, and the
// answers come from queues the test fills beforehand. An empty queue gives
// the answer of a user who just presses Enter on a confirmation (Yes) or
// cancels a dialog.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "wizard/desktop.h"

namespace qb::wiz {

struct TDesktopCall {
  std::string Kind;  // "ShowError", "Confirm", "InputText", "BrowseDirectory", "OpenFile",
                     // "OpenFileOrDirectory", "SaveFile", "OpenPath", "PlaySound", "ShowAbout"
  std::string Text;  // message, prompt, path or URL, sound file
  std::string Caption;
  std::string Filter;
  std::string Initial;
};

class TFakeDesktop : public IDesktop {
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

  // Answers, taken front first.
  std::deque<bool> ConfirmAnswers;                 // empty: Yes
  std::deque<std::optional<QString>> TextAnswers;  // InputText; empty: Cancel
  std::deque<std::optional<QString>> DirAnswers;   // BrowseDirectory; empty: Cancel
  // OpenFile, OpenFileOrDirectory and SaveFile; empty: Cancel
  std::deque<std::optional<QString>> FileAnswers;

  // Runs after each call is recorded (and before it answers), e.g. to act
  // while a modal box would be open.
  std::function<void(const TDesktopCall&)> OnCall;

  std::vector<TDesktopCall> Calls;

  // The recorded calls of one kind, in order.
  std::vector<TDesktopCall> CallsOf(const std::string& kind) const;
  // The texts of every ShowError call.
  std::vector<std::string> Errors() const;
  void Clear() { Calls.clear(); }

 private:
  void Record(TDesktopCall call);
};

}  // namespace qb::wiz
