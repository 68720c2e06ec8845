#pragma once
// What the Installing page costs while an installation runs: the page is
// painted at most once per display frame, with whatever its label and bar
// hold by then, and the application handles its messages at most once per
// frame, so a click on Cancel or a close box is still seen within a frame.
// The handlers go on setting the label and the bar for every file and chunk.
#include <QLabel>
#include <QPointer>
#include <QWidget>
#include <chrono>

class InstallDisplay : public QObject {
 public:
  // Starts coalescing for `page` (its updates are held between frames).
  // `autoSized` is a label on it that sizes itself to its text: measuring the
  // text is the dearest part of a new text, so it is done when the page is
  // painted.
  InstallDisplay(QWidget* page, QLabel* autoSized);
  // Ends it: the page is painted with its final state, messages are handled
  // on every call again.
  ~InstallDisplay();
  InstallDisplay(const InstallDisplay&) = delete;
  InstallDisplay& operator=(const InstallDisplay&) = delete;

  // Paints the page now when a frame has passed since it was last painted.
  void frame();
  // Paints the page now whatever the time: before it is left, so that its
  // last state (the last file, 100 %) is shown.
  void paintNow();

  // A window that opens during the installation (the disk prompt) first
  // gets the page painted as it stands, since the page waits behind it.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  using Clock = std::chrono::steady_clock;
  QPointer<QWidget> FPage;
  QPointer<QLabel> FAutoSized;
  Clock::duration FFrame;
  Clock::time_point FLastPainted;
};
