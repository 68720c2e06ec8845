#include "framework/gui/raise_later.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <utility>

void raiseLater(std::exception_ptr error) {
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [error = std::move(error)] { std::rethrow_exception(error); },
      Qt::QueuedConnection);
}
