// The background window: 256 bands from blue to black over the client area,
// the title transparent over it.
#include <gtest/gtest.h>

#include "framework/gui/text.h"
#include "tests/app/forms_fixture.h"
#include "tests/support/pixels.h"

namespace {


using BackgroundWindow = FormsTest;

TEST_F(BackgroundWindow, BandsFollowTheClientHeight) {
  struct Row {
    int height;
    int band, firstRow, lastRow;
  };
  const Row rows[] = {
      {1024, 0, 0, 3}, {1024, 1, 4, 7}, {1024, 128, 512, 515}, {1024, 255, 1020, 1023},
      {1000, 0, 0, 2}, {1000, 1, 3, 6}, {1000, 128, 500, 502}, {1000, 255, 996, 999},
  };
  for (const Row& row : rows) {
    form1->resize(688, row.height);
    const QImage image = form1->grab().toImage();
    ASSERT_EQ(image.height(), row.height);
    for (int y = row.firstRow; y <= row.lastRow; ++y)
      for (int x : {0, 300, 687})
        EXPECT_EQ(pixel(image, x, y), rgb(0, 0, 255 - row.band)) << row.height << " row " << y << " x " << x;
  }
}

TEST_F(BackgroundWindow, TitleIsAquaWithTheGradientAroundItsLetters) {
  form1->resize(688, 1024);
  form1->ui->Label1->setText("Acme");
  form1->ui->Label1->adjustSize();
  const QImage image = form1->grab().toImage();
  const QRect label = form1->ui->Label1->geometry();
  int aqua = 0, gradient = 0;
  for (int y = label.top(); y <= label.bottom(); ++y)
    for (int x = label.left(); x <= label.right(); ++x) {
      const uint32_t p = pixel(image, x, y);
      if (p == rgb(0, 255, 255)) ++aqua;
      if (p == rgb(0, 0, 255 - y / 4)) ++gradient;
    }
  EXPECT_GT(aqua, 50);
  EXPECT_GT(gradient, label.width() * label.height() / 3);
  EXPECT_EQ(form1->ui->Label1->font().pixelSize(), 48);
  EXPECT_TRUE(form1->ui->Label1->font().bold());
  EXPECT_TRUE(form1->ui->Label1->font().italic());
}

}  // namespace
