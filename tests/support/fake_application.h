#pragma once
// Application services for tests: records every message box and every round
// of message processing, and answers boxes from a queue of results.
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "framework/core/application_services.h"

class FakeApplication : public ApplicationServices {
 public:
  struct Box {
    std::string text;
    TMsgDlgType type;
    TMsgDlgButtons buttons;
    int helpContext;
  };

  FakeApplication() { previous_ = setApplicationServices(this); }
  ~FakeApplication() override { setApplicationServices(previous_); }
  FakeApplication(const FakeApplication&) = delete;
  FakeApplication& operator=(const FakeApplication&) = delete;

  void processMessages() override {
    ++processed;
    if (onProcess) onProcess();
  }
  int messageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext) override {
    boxes.push_back({text, type, buttons, helpContext});
    if (onBox) onBox(boxes.back());
    if (answers.empty()) return defaultAnswer;
    int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::string title() const override { return "Setup"; }

  std::vector<Box> boxes;
  std::deque<int> answers;   // results of the next boxes, in order
  int defaultAnswer = mrOk;  // once the queue is empty
  int processed = 0;
  std::function<void()> onProcess;
  std::function<void(const Box&)> onBox;

 private:
  ApplicationServices* previous_ = nullptr;
};
