#pragma once
// Types shared by the drive, directory and file list controls.
#include <cstdint>

#include "framework/core/event.h"
#include "framework/core/object.h"

// An event with only its Sender.
using TNotifyEvent = TEvent<TObject* /*Sender*/>;

// Letter case of the drive box's texts.
enum TTextCase { tcLowerCase, tcUpperCase };

// Kinds of entries a file list shows; TFileType is a set of them.
enum TFileAttr { ftReadOnly, ftHidden, ftSystem, ftVolumeID, ftDirectory, ftArchive, ftNormal };
using TFileType = uint32_t;  // bit (1 << TFileAttr)
constexpr TFileType fileTypeOf(std::initializer_list<TFileAttr> attrs) {
  TFileType t = 0;
  for (auto a : attrs) t |= 1u << a;
  return t;
}
constexpr bool hasFileAttr(TFileType type, TFileAttr attr) { return (type >> attr) & 1u; }

// Horizontal alignment of a label's text.
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
