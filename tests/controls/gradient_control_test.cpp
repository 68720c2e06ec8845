// The gradient control: defaults, repaint on every property write, colour
// choice, the painted picture and the caption placement.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>

#include "controls/smooth_gradient.h"
#include "tests/support/pixels.h"

namespace {


class CountingGradient : public TSmoothGradient {
 public:
  using TSmoothGradient::TSmoothGradient;
  int paints = 0;

 protected:
  void paintEvent(QPaintEvent* event) override {
    ++paints;
    TSmoothGradient::paintEvent(event);
  }
};

TEST(SmoothGradient, EveryWriteRepaintsEvenWithTheSameValue) {
  QWidget owner;
  owner.resize(120, 120);
  CountingGradient gradient(&owner);
  owner.show();
  QApplication::processEvents();
  struct Row {
    const char* name;
    std::function<void()> write;
  };
  const Row rows[] = {
      {"Caption", [&] { gradient.setCaption(gradient.Caption()); }},
      {"StartColor", [&] { gradient.setStartColor(gradient.StartColor()); }},
      {"EndColor", [&] { gradient.setEndColor(gradient.EndColor()); }},
      {"StartCustomColor", [&] { gradient.setStartCustomColor(gradient.StartCustomColor()); }},
      {"EndCustomColor", [&] { gradient.setEndCustomColor(gradient.EndCustomColor()); }},
      {"GradientStyle", [&] { gradient.setGradientStyle(gradient.GradientStyle()); }},
      {"Layout", [&] { gradient.setLayout(gradient.Layout()); }},
  };
  for (const Row& row : rows) {
    QApplication::processEvents();
    gradient.paints = 0;
    row.write();
    EXPECT_EQ(gradient.paints, 0) << row.name << ": painted outside a paint event";
    QApplication::processEvents();
    EXPECT_GE(gradient.paints, 1) << row.name;
  }
}

TEST(SmoothGradient, PaintsTheColoursItChooses) {
  struct Row {
    const char* name;
    std::function<void(TSmoothGradient&)> setup;
    uint32_t top, bottom;
  };
  const Row rows[] = {
      {"colour properties", [](TSmoothGradient& g) { g.setEndColor(clBlack); }, rgb(0, 0, 255), rgb(0, 0, 0)},
      {"named start colour wins",
       [](TSmoothGradient& g) {
         g.setStartColor(rgb(255, 0, 0));
         g.setStartCustomColor(ccRuby);
         g.setEndColor(clBlack);
       },
       rgb(152, 48, 96), rgb(0, 0, 0)},
      {"named end colour wins",
       [](TSmoothGradient& g) {
         g.setEndColor(clBlack);
         g.setEndCustomColor(ccGlass);
       },
       rgb(0, 0, 255), rgb(91, 204, 142)},
  };
  for (const Row& row : rows) {
    TSmoothGradient gradient;
    gradient.resize(10, 256);
    gradient.setGradientStyle(gsVertical);
    row.setup(gradient);
    const QImage image = gradient.grab().toImage();
    EXPECT_EQ(pixel(image, 5, 0), row.top) << row.name;
    EXPECT_EQ(pixel(image, 5, 255), row.bottom) << row.name;
  }
}

TEST(SmoothGradient, HorizontalByDefault) {
  TSmoothGradient gradient;
  gradient.resize(256, 4);
  gradient.setStartColor(clBlack);
  gradient.setEndColor(rgb(255, 0, 0));
  const QImage image = gradient.grab().toImage();
  for (int x : {0, 17, 128, 255}) EXPECT_EQ(pixel(image, x, 3), rgb(x, 0, 0)) << x;
}

TEST(SmoothGradient, CaptionOrigin) {
  struct Row {
    const char* name;
    int width, height, textWidth, textHeight;
    TLayout layout;
    QPoint origin;
  };
  const Row rows[] = {
      {"left", 100, 100, 20, 10, glLeft, {4, 45}},
      {"centre", 100, 100, 20, 10, glCenter, {40, 45}},
      {"right", 100, 100, 20, 10, glRight, {76, 45}},
      {"odd room rounds down", 101, 101, 20, 10, glCenter, {40, 45}},
      {"taller than the control: -1.5 gives -1", 100, 10, 20, 13, glLeft, {4, -1}},
      {"wider than the control, right", 50, 20, 80, 10, glRight, {-34, 5}},
      {"wider than the control, centred: -15", 50, 20, 80, 10, glCenter, {-15, 5}},
  };
  for (const Row& row : rows)
    EXPECT_EQ(TSmoothGradient::CaptionOrigin(row.width, row.height, row.textWidth, row.textHeight, row.layout),
              row.origin)
        << row.name;
}

// The caption's ink lies inside its text box, without a background box.
TEST(SmoothGradient, CaptionIsDrawnTransparentlyAtItsPlace) {
  for (TLayout layout : {glLeft, glCenter, glRight}) {
    TSmoothGradient gradient;
    gradient.resize(300, 60);
    gradient.setStartColor(clBlack);
    gradient.setEndColor(clBlack);
    gradient.setLayout(layout);
    QPalette palette = gradient.palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    gradient.setPalette(palette);
    QFont font("Liberation Sans");
    font.setPixelSize(20);
    gradient.setFont(font);
    gradient.setCaption("Wide Caption");

    const QFontMetrics metrics(font);
    const QPoint origin =
        TSmoothGradient::CaptionOrigin(300, 60, metrics.horizontalAdvance("Wide Caption"), metrics.height(), layout);
    const QRect box(origin, QSize(metrics.horizontalAdvance("Wide Caption"), metrics.height()));
    const QImage image = gradient.grab().toImage();
    QRect ink;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (pixel(image, x, y) != 0) ink |= QRect(x, y, 1, 1);
    ASSERT_FALSE(ink.isEmpty()) << layout;
    EXPECT_TRUE(box.adjusted(-1, -1, 1, 1).contains(ink)) << layout;
    EXPECT_GT(ink.width(), box.width() / 2) << layout;
  }
}

// Enabled does not change the painting: the caption keeps its font colour.
TEST(SmoothGradient, ADisabledControlPaintsLikeAnEnabledOne) {
  QImage images[2];
  for (bool enabled : {true, false}) {
    TSmoothGradient gradient;
    gradient.resize(200, 40);
    QPalette palette = gradient.palette();
    palette.setColor(QPalette::Active, QPalette::WindowText, Qt::white);
    palette.setColor(QPalette::Inactive, QPalette::WindowText, Qt::white);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, Qt::gray);
    gradient.setPalette(palette);
    gradient.setCaption("Caption");
    gradient.setEnabled(enabled);
    images[enabled] = gradient.grab().toImage();
  }
  EXPECT_EQ(images[0], images[1]);
}

}  // namespace
