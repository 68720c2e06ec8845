#pragma once
// Exceptions out of widget code: an exception that leaves a handler inside
// Qt's own event code (a button's click, a list's key press) must not unwind
// through it. It is caught there and raised again from a queued call, after
// the widget's code has ended, where the application's error box takes it.
#include <exception>
#include <utility>

// Raises `error` again from the event loop, on its next turn.
void raiseLater(std::exception_ptr error);

// Runs `call`; an exception it raises is passed on through raiseLater.
template <class Call>
void callRaisingLater(Call&& call) {
  try {
    std::forward<Call>(call)();
  } catch (...) {
    raiseLater(std::current_exception());
  }
}
