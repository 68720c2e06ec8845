#pragma once
// TAnimate: a control that shows a short animation clip (a GIF resource).
// Opening a clip sizes the control to the clip's frame size and shows frame 0;
// the clip plays only while Active, looping over StartFrame..StopFrame.
#include <QMovie>
#include <QWidget>
#include <memory>

class TAnimate : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QString FileName READ FileName WRITE setFileName)
  Q_PROPERTY(bool Center READ Center WRITE setCenter)
  Q_PROPERTY(bool Transparent READ Transparent WRITE setTransparent)
  Q_PROPERTY(int StartFrame READ StartFrame WRITE setStartFrame)
  Q_PROPERTY(int StopFrame READ StopFrame WRITE setStopFrame)
  Q_PROPERTY(bool Active READ Active WRITE setActive)

 public:
  explicit TAnimate(QWidget* parent = nullptr);
  ~TAnimate() override;

  // Opens the clip (a file or ":/resource" path), sizes the control to its
  // frame size and shows its first frame. An empty name closes the clip.
  QString FileName() const { return FFileName; }
  void setFileName(const QString& fileName);

  // Centre the frame in the control (otherwise it is drawn at the top-left).
  bool Center() const { return FCenter; }
  void setCenter(bool value);
  // Leave the parent's background visible where the clip shows its
  // background colour (that of its top-left pixel); otherwise the frame is
  // drawn as it is.
  bool Transparent() const { return FTransparent; }
  void setTransparent(bool value);

  // Play range, 1-based as stored; frame numbers above the clip's last frame
  // are clamped when playing.
  int StartFrame() const { return FStartFrame; }
  void setStartFrame(int value) { FStartFrame = value; }
  int StopFrame() const { return FStopFrame; }
  void setStopFrame(int value) { FStopFrame = value; }

  // Plays the range in a loop while true; false stops on the current frame.
  bool Active() const { return FActive; }
  void setActive(bool value);

  // The clip's frame count and frame size (0 and empty without a clip), and
  // the number of the frame shown (0 is the first).
  int FrameCount() const;
  QSize FrameSize() const;
  int CurrentFrame() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void FrameChanged(int frame);

  QString FFileName;
  std::unique_ptr<QMovie> FMovie;
  bool FCenter = true;
  bool FTransparent = true;
  int FStartFrame = 1;
  int FStopFrame = 0;
  bool FActive = false;
};
