#pragma once
// The root of every class that can be the Sender of an event.
class TObject {
 public:
  virtual ~TObject() = default;
};
