#include "wizard/fakedesktop.h"

namespace qb::wiz {

namespace {

std::string Std(const QString& s) {
  return s.toStdString();
}

std::optional<QString> TakeAnswer(std::deque<std::optional<QString>>& queue) {
  if (queue.empty()) return std::nullopt;
  const bool given = queue.front().has_value();
  const QString text = given ? *queue.front() : QString();
  queue.pop_front();
  if (!given) return std::nullopt;
  return text;
}

}  // namespace

void TFakeDesktop::Record(TDesktopCall call) {
  Calls.push_back(call);
  if (OnCall) OnCall(call);
}

void TFakeDesktop::ShowError(QWidget*, const QString& text) {
  Record({"ShowError", Std(text), "", "", ""});
}

bool TFakeDesktop::Confirm(QWidget*, const QString& text) {
  Record({"Confirm", Std(text), "", "", ""});
  if (ConfirmAnswers.empty()) return true;
  const bool answer = ConfirmAnswers.front();
  ConfirmAnswers.pop_front();
  return answer;
}

std::optional<QString> TFakeDesktop::InputText(QWidget*, const QString& caption,
                                               const QString& prompt, const QString& initial) {
  Record({"InputText", Std(prompt), Std(caption), "", Std(initial)});
  return TakeAnswer(TextAnswers);
}

std::optional<QString> TFakeDesktop::BrowseDirectory(QWidget*, const QString& caption,
                                                     const QString& initial) {
  Record({"BrowseDirectory", "", Std(caption), "", Std(initial)});
  return TakeAnswer(DirAnswers);
}

std::optional<QString> TFakeDesktop::OpenFile(QWidget*, const QString& caption,
                                              const QString& filter, const QString& initial) {
  Record({"OpenFile", "", Std(caption), Std(filter), Std(initial)});
  return TakeAnswer(FileAnswers);
}

std::optional<QString> TFakeDesktop::OpenFileOrDirectory(QWidget*, const QString& caption,
                                                         const QString& filter,
                                                         const QString& initial) {
  Record({"OpenFileOrDirectory", "", Std(caption), Std(filter), Std(initial)});
  return TakeAnswer(FileAnswers);
}

std::optional<QString> TFakeDesktop::SaveFile(QWidget*, const QString& caption,
                                              const QString& filter, const QString& initial) {
  Record({"SaveFile", "", Std(caption), Std(filter), Std(initial)});
  return TakeAnswer(FileAnswers);
}

void TFakeDesktop::OpenPath(const QString& pathOrUrl) {
  Record({"OpenPath", Std(pathOrUrl), "", "", ""});
}

void TFakeDesktop::PlaySound(const QString& file) {
  Record({"PlaySound", Std(file), "", "", ""});
}

void TFakeDesktop::ShowAbout(QWidget*) {
  Record({"ShowAbout", "", "", "", ""});
}

std::vector<TDesktopCall> TFakeDesktop::CallsOf(const std::string& kind) const {
  std::vector<TDesktopCall> out;
  for (const TDesktopCall& c : Calls)
    if (c.Kind == kind) out.push_back(c);
  return out;
}

std::vector<std::string> TFakeDesktop::Errors() const {
  std::vector<std::string> out;
  for (const TDesktopCall& c : Calls)
    if (c.Kind == "ShowError") out.push_back(c.Text);
  return out;
}

}  // namespace qb::wiz
