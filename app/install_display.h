#pragma once
// What the Installing page costs while an installation runs. The handlers
// hand the file name and the bar's value over for every file and chunk; the
// page takes them when the application handles its messages, at most once
// per display frame, and paints then only what they changed, in one pass: a
// new text costs a conversion, the label's bookkeeping and, since the label
// sizes itself to its text, a measurement, and the page's background, its
// animation and an unchanged bar need no paint at all. Handling messages once
// per frame still sees a click on Cancel or a close box within a frame.
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QWidget>
#include <string>

class InstallDisplay : public QObject {
 public:
  // Starts coalescing for `page`, with its file label and its bar.
  InstallDisplay(QWidget* page, QLabel* fileLabel, QProgressBar* bar);
  // Ends it: the label and the bar take what they were last given, messages
  // are handled on every call again.
  ~InstallDisplay();
  InstallDisplay(const InstallDisplay&) = delete;
  InstallDisplay& operator=(const InstallDisplay&) = delete;

  // The name the file label shows from the next frame on.
  void showFile(const std::string& name);
  // The value the bar shows from the next frame on.
  void showProgress(int value);
  // The label's text as the page shows it from the next frame on.
  QString fileText() const;

  // Shows the page's new state now: once per frame, and before the page is
  // left, so that its last state (the last file, 100 %) is painted.
  void paintNow();

  // A window that opens during the installation (the disk prompt) first
  // gets the page shown as it stands, since the page waits behind it.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Hands what was given over to the label and the bar; their updates are
  // then pending, not painted.
  void apply();

  QPointer<QWidget> FPage;
  QPointer<QLabel> FFileLabel;
  QPointer<QProgressBar> FBar;
  std::string FFile;
  bool FFileChanged = false;
  int FValue;
};
