#include "framework/gui/message_dialog.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

#include "framework/gui/text.h"

namespace {

constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kIconSize = 32;

// Object names of the buttons, so that tests and scripts can find them.
const char* const kButtonNames[] = {"Yes",    "No",  "OK",      "Cancel",   "Abort", "Retry",
                                    "Ignore", "All", "NoToAll", "YesToAll", "Help"};

QStyle::StandardPixmap standardIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Warning: return QStyle::SP_MessageBoxWarning;
    case MessageIcon::Error: return QStyle::SP_MessageBoxCritical;
    case MessageIcon::Information: return QStyle::SP_MessageBoxInformation;
    case MessageIcon::Question: return QStyle::SP_MessageBoxQuestion;
    case MessageIcon::None: break;
  }
  return QStyle::SP_CustomBase;
}

// What a screen reader says for the icon; the caption may be another word
// (a question is captioned "Confirm").
QString iconName(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Warning: return QStringLiteral("Warning");
    case MessageIcon::Error: return QStringLiteral("Error");
    case MessageIcon::Information: return QStringLiteral("Information");
    case MessageIcon::Question: return QStringLiteral("Question");
    case MessageIcon::None: break;
  }
  return {};
}

QScreen* boxScreen() {
  if (QWidget* w = QApplication::activeWindow()) return w->screen();
  return QGuiApplication::primaryScreen();
}

}  // namespace

MessageIcon messageIconOf(TMsgDlgType type) {
  switch (type) {
    case TMsgDlgType::mtWarning: return MessageIcon::Warning;
    case TMsgDlgType::mtError: return MessageIcon::Error;
    case TMsgDlgType::mtInformation: return MessageIcon::Information;
    case TMsgDlgType::mtConfirmation: return MessageIcon::Question;
    case TMsgDlgType::mtCustom: break;
  }
  return MessageIcon::None;
}

int cancelResult(TMsgDlgButtons buttons) {
  int b = cancelButton(buttons);
  return b >= 0 ? buttonResult(TMsgDlgBtn(b)) : mrCancel;
}

int showMessageBox(const std::string& text, const std::string& caption, MessageIcon icon, TMsgDlgButtons buttons,
                   int defaultChoice) {
  QDialog box;
  box.setObjectName("MessageBox");
  box.setWindowTitle(toQString(caption));
  box.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                     Qt::MSWindowsFixedSizeDialogHint);
  box.setModal(true);

  auto* body = new QHBoxLayout;
  body->setSpacing(12);
  if (icon != MessageIcon::None) {
    auto* image = new QLabel(&box);
    image->setObjectName("Image");
    image->setAccessibleName(iconName(icon));
    image->setPixmap(box.style()->standardIcon(standardIcon(icon), nullptr, &box).pixmap(kIconSize, kIconSize));
    image->setFixedSize(kIconSize, kIconSize);
    body->addWidget(image, 0, Qt::AlignTop);
  }

  // The text wraps at word boundaries within half the screen's width; the box
  // is as wide as the longest line it then has.
  auto* message = new QLabel(&box);
  message->setObjectName("Message");
  message->setTextFormat(Qt::PlainText);
  message->setWordWrap(true);
  message->setText(toQString(text));
  const QScreen* screen = boxScreen();
  const int maxWidth = std::max(1, (screen ? screen->geometry().width() : 800) / 2);
  QRect bounds = message->fontMetrics().boundingRect(QRect(0, 0, maxWidth, 1 << 20),
                                                     Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, message->text());
  const int width = std::min(bounds.width(), maxWidth);
  message->setFixedSize(width, std::max(message->heightForWidth(width), bounds.height()));
  body->addWidget(message, 0, Qt::AlignTop);

  auto* row = new QHBoxLayout;
  row->setSpacing(8);
  row->addStretch(1);
  const int defaultIndex = defaultChoice >= 0 ? defaultChoice : defaultButton(buttons);
  for (TMsgDlgBtn b : buttonsInOrder(buttons)) {
    auto* button = new QPushButton(toQString(buttonCaption(b)), &box);
    button->setObjectName(kButtonNames[b]);
    button->setAutoDefault(false);
    button->setFixedSize(std::max(kButtonWidth, button->sizeHint().width()), kButtonHeight);
    if (b == defaultIndex) {
      button->setDefault(true);
      button->setFocus();
    }
    if (b == mbHelp) {
      // No help system: the button leaves the box open.
    } else {
      const int result = buttonResult(b);
      QObject::connect(button, &QPushButton::clicked, &box, [&box, result] { box.done(result); });
    }
    row->addWidget(button);
  }
  row->addStretch(1);

  auto* outer = new QVBoxLayout(&box);
  outer->setContentsMargins(12, 12, 12, 12);
  outer->setSpacing(16);
  outer->addLayout(body);
  outer->addLayout(row);
  outer->setSizeConstraint(QLayout::SetFixedSize);

  outer->activate();
  box.adjustSize();
  if (screen) box.move(screen->geometry().center() - QPoint(box.width() / 2, box.height() / 2));

  // Escape, the close box and an end from outside all leave the result 0.
  const int result = box.exec();
  return result == 0 ? cancelResult(buttons) : result;
}
