#include "framework/gui/form.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVariant>

#include "framework/gui/application.h"

namespace {

QString stored(const QWidget* w, const char* name) { return w->property(name).toString(); }

// A screen reader hears a window as a dialog (bsDialog) or a frame, named by
// its caption; a plain widget would be an unnamed filler it does not announce.
QAccessibleInterface* formAccessible(const QString& className, QObject* object) {
  auto* form = className == QLatin1String("TForm") ? qobject_cast<TForm*>(object) : nullptr;
  if (!form || !form->isWindow()) return nullptr;
  return new QAccessibleWidget(form,
                               stored(form, "BorderStyle") == "bsDialog" ? QAccessible::Dialog : QAccessible::Window);
}

}  // namespace

TForm::TForm(QWidget* parent) : QWidget(parent), TComponent(nullptr) {
  static const bool registered = (QAccessible::installFactory(formAccessible), true);
  (void)registered;
}

void TForm::ApplyStoredSettings() {
  Qt::WindowFlags flags = windowFlags();
  if (stored(this, "BorderStyle") == "bsDialog") {
    flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
            Qt::MSWindowsFixedSizeDialogHint;
    setFixedSize(size());
  }
  if (stored(this, "FormStyle") == "fsStayOnTop") flags |= Qt::WindowStaysOnTopHint;
  setWindowFlags(flags);

  QList<QWidget*> widgets = findChildren<QWidget*>();
  widgets.prepend(this);
  for (QWidget* w : widgets) {
    bool ok = false;
    int height = w->property("FontHeight").toInt(&ok);
    if (ok && height > 0) {
      QFont f = w->font();
      f.setPixelSize(height);
      w->setFont(f);
    }
  }
}

void TForm::Show() {
  if (!FPlaced) {
    FPlaced = true;
    const QString position = stored(this, "Position");
    if (QScreen* screen = QGuiApplication::primaryScreen();
        screen && (position == "poDesktopCenter" || position == "poScreenCenter")) {
      FCentring.centre(*this, position == "poDesktopCenter" ? screen->virtualGeometry() : screen->geometry());
    } else if (property("Left").isValid() && property("Top").isValid()) {
      move(property("Left").toInt(), property("Top").toInt());
    }
  }
  if (stored(this, "WindowState") == "wsMaximized")
    showMaximized();
  else
    show();
  raise();
}

bool TForm::event(QEvent* event) {
  FCentring.seen(*this, *event);
  return QWidget::event(event);
}

void TForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) OnShow(this);
}

void TForm::closeEvent(QCloseEvent* event) {
  TApplication* app = TApplication::instance();
  if (app && app->MainForm() == this) {
    app->Terminate();
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}
