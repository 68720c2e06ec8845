#pragma once
// Events: a callable bound to its object, plus the name of the handler method
// it was bound through (what a stored layout records). Calling an unassigned
// event does nothing, so by-reference parameters keep their values.
#include <functional>
#include <string>
#include <utility>

template <typename... Args>
class TEvent {
 public:
  using Handler = std::function<void(Args...)>;

  TEvent() = default;
  TEvent(Handler handler, std::string handlerName = {}) : handler_(std::move(handler)), name_(std::move(handlerName)) {}

  explicit operator bool() const { return static_cast<bool>(handler_); }
  const std::string& handlerName() const { return name_; }
  const Handler& handler() const { return handler_; }

  // Runs the handler if one is assigned.
  void operator()(Args... args) const {
    if (handler_) handler_(std::forward<Args>(args)...);
  }

 private:
  Handler handler_;
  std::string name_;
};

// Binds a member function of an object as an event handler.
template <typename... Args, typename Obj>
TEvent<Args...> bindEvent(Obj* object, void (Obj::*method)(Args...), std::string handlerName = {}) {
  return TEvent<Args...>([object, method](Args... args) { (object->*method)(std::forward<Args>(args)...); },
                         std::move(handlerName));
}
