#include "framework/core/application_services.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "platform/text_file.h"

namespace {
ConsoleApplication gConsole;
ApplicationServices* gServices = nullptr;

std::string withoutAmpersand(const std::string& s) {
  std::string out;
  for (char c : s)
    if (c != '&') out += c;
  return out;
}
}  // namespace

ApplicationServices& application() { return gServices ? *gServices : gConsole; }

ApplicationServices* setApplicationServices(ApplicationServices* services) {
  ApplicationServices* old = gServices;
  gServices = services;
  return old;
}

std::string applicationTitleFromPath(const std::string& programPath) {
  auto slash = programPath.find_last_of("\\/");
  std::string name = slash == std::string::npos ? programPath : programPath.substr(slash + 1);
  name = name.substr(0, name.find('.'));
  for (size_t i = 1; i < name.size(); ++i) name[i] = char(std::tolower((unsigned char)name[i]));
  return name;
}

std::string ConsoleApplication::title() const {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? applicationTitleFromPath(std::string(buf, size_t(n))) : std::string();
}

int ConsoleApplication::messageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, int) {
  std::fputs((messageBoxCaption(type, title()) + ": " + text + "\n").c_str(), stderr);
  auto order = buttonsInOrder(buttons);
  int cancel = cancelButton(buttons);
  if (!isatty(STDIN_FILENO) || order.empty()) return cancel >= 0 ? buttonResult(TMsgDlgBtn(cancel)) : mrCancel;
  int def = defaultButton(buttons);
  for (;;) {
    std::string choices = "[";
    for (size_t i = 0; i < order.size(); ++i) choices += (i ? " / " : "") + withoutAmpersand(buttonCaption(order[i]));
    std::fputs((choices + "] ").c_str(), stderr);
    std::string answer;
    if (!platform::readLine(stdin, answer)) return cancel >= 0 ? buttonResult(TMsgDlgBtn(cancel)) : mrCancel;
    if (answer.empty() && def >= 0) return buttonResult(TMsgDlgBtn(def));
    for (auto b : order) {
      std::string caption = withoutAmpersand(buttonCaption(b));
      if (std::tolower((unsigned char)answer[0]) == std::tolower((unsigned char)caption[0]) &&
          (answer.size() == 1 || answer == caption))
        return buttonResult(b);
    }
  }
}
