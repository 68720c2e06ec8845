#include "framework/core/message_box.h"

std::string messageBoxCaption(TMsgDlgType type, const std::string& applicationTitle) {
  switch (type) {
    case TMsgDlgType::mtWarning: return "Warning";
    case TMsgDlgType::mtError: return "Error";
    case TMsgDlgType::mtInformation: return "Information";
    case TMsgDlgType::mtConfirmation: return "Confirm";
    case TMsgDlgType::mtCustom: break;
  }
  return applicationTitle;
}

std::string buttonCaption(TMsgDlgBtn button) {
  static const char* const kCaptions[] = {"&Yes",    "&No",  "OK",         "Cancel",      "&Abort", "&Retry",
                                          "&Ignore", "&All", "N&o to All", "Yes to &All", "&Help"};
  return kCaptions[button];
}

int buttonResult(TMsgDlgBtn button) {
  static const int kResults[] = {mrYes,    mrNo,  mrOk,      mrCancel,   mrAbort, mrRetry,
                                 mrIgnore, mrAll, mrNoToAll, mrYesToAll, mrNone};
  return kResults[button];
}

std::vector<TMsgDlgBtn> buttonsInOrder(TMsgDlgButtons buttons) {
  std::vector<TMsgDlgBtn> out;
  for (int b = mbYes; b <= mbHelp; ++b)
    if (buttons & (1u << b)) out.push_back(TMsgDlgBtn(b));
  return out;
}

int defaultButton(TMsgDlgButtons buttons) {
  for (TMsgDlgBtn b : {mbOK, mbYes, mbRetry})
    if (buttons & (1u << b)) return b;
  return -1;
}

int cancelButton(TMsgDlgButtons buttons) {
  for (TMsgDlgBtn b : {mbCancel, mbNo, mbOK})
    if (buttons & (1u << b)) return b;
  return -1;
}

std::string applicationErrorText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}
