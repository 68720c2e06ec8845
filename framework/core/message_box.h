#pragma once
// The modal message box as the system defines it: types with their captions,
// the eleven buttons with captions and results, and the default and cancel
// button rules. The GUI and the console share these rules.
#include <cstdint>
#include <string>
#include <vector>

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgBtn {
  mbYes,
  mbNo,
  mbOK,
  mbCancel,
  mbAbort,
  mbRetry,
  mbIgnore,
  mbAll,
  mbNoToAll,
  mbYesToAll,
  mbHelp,
};
using TMsgDlgButtons = uint32_t;  // bit (1 << TMsgDlgBtn)
constexpr TMsgDlgButtons buttonSet(std::initializer_list<TMsgDlgBtn> buttons) {
  TMsgDlgButtons s = 0;
  for (auto b : buttons) s |= 1u << b;
  return s;
}

// Results of a modal box.
enum TModalResult : int {
  mrNone = 0,
  mrOk = 1,
  mrCancel = 2,
  mrAbort = 3,
  mrRetry = 4,
  mrIgnore = 5,
  mrYes = 6,
  mrNo = 7,
  mrAll = 8,
  mrNoToAll = 9,
  mrYesToAll = 10,
};

// "Warning", "Error", "Information", "Confirm"; a custom box takes the
// application title.
std::string messageBoxCaption(TMsgDlgType type, const std::string& applicationTitle);
// "&Yes", "&No", "OK", "Cancel", "&Abort", "&Retry", "&Ignore", "&All",
// "N&o to All", "Yes to &All", "&Help".
std::string buttonCaption(TMsgDlgBtn button);
// The result a button gives (Help gives none).
int buttonResult(TMsgDlgBtn button);
// The buttons of a set, in display order.
std::vector<TMsgDlgBtn> buttonsInOrder(TMsgDlgButtons buttons);
// OK if present, else Yes, else Retry; -1 when none of them is present.
int defaultButton(TMsgDlgButtons buttons);
// Cancel if present, else No, else OK; -1 when none of them is present.
int cancelButton(TMsgDlgButtons buttons);

// The application error box text: the message with "." appended when its last
// character has a code above that of ".".
std::string applicationErrorText(const std::string& message);
