#pragma once
// Answering modal boxes from tests: the action runs once the next modal
// window is on screen, inside its loop.
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <utility>

// Runs action(box) as soon as a modal window is shown (polling every few
// milliseconds, for at most timeoutMs). Call it before the code that opens the box.
inline void whenModalShown(std::function<void(QWidget*)> action, int timeoutMs = 5000) {
  auto* timer = new QTimer;
  auto* clock = new QElapsedTimer;
  clock->start();
  QObject::connect(timer, &QTimer::timeout, [timer, clock, action = std::move(action), timeoutMs] {
    QWidget* box = QApplication::activeModalWidget();
    if (!box && clock->elapsed() < timeoutMs) return;
    timer->stop();
    timer->deleteLater();
    delete clock;
    if (box) action(box);
  });
  timer->start(5);
}
