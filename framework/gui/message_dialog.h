#pragma once
// The modal message box on Qt: caption, icon, a text word-wrapped to at most
// half the screen's width, and the system's buttons in their order, with the
// default and cancel button rules of framework/core/message_box.h.
#include <string>

#include "framework/core/message_box.h"

enum class MessageIcon { None, Warning, Error, Information, Question };

// The icon that a message box type shows (custom: none).
MessageIcon messageIconOf(TMsgDlgType type);

// Shows the box modally, centred on the screen, and returns the result of the
// button chosen. Escape, the close box, and an end of the box's loop from
// outside (termination) count as the cancel button: its result, or mrCancel
// when the set has none. Help shows no help and leaves the box open.
// `defaultChoice` (a button of the set) replaces the usual default: a
// question whose Yes would be unsafe makes No the answer of Enter.
int showMessageBox(const std::string& text, const std::string& caption, MessageIcon icon, TMsgDlgButtons buttons,
                   int defaultChoice = -1);

// The result that closing the box without a choice gives for a button set.
int cancelResult(TMsgDlgButtons buttons);
