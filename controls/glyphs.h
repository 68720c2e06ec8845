#pragma once
// The ten glyphs of the drive, directory and file list controls: 16-colour
// bitmaps stored as Qt resources under their names ("FLOPPY", "OPENFOLDER",
// ...). Every glyph is drawn with the colour of its bottom-left pixel
// treated as transparent.
#include <QImage>

enum class TGlyph {
  None,
  Floppy,         // 16 x 11, removable drive
  Hard,           // 16 x 11, fixed drive
  Network,        // 16 x 11, network drive
  CdRom,          // 16 x 11, CD-ROM drive
  Ram,            // 16 x 11, RAM disk
  OpenFolder,     // 16 x 15, ancestor directory
  CurrentFolder,  // 16 x 15, open directory
  ClosedFolder,   // 16 x 15, sub-directory, or a directory in the file list
  Executable,     // 16 x 15, program file
  UnknownFile,    // 16 x 15, other file
};

// The resource name of a glyph ("FLOPPY"); empty for None.
const char* glyphName(TGlyph glyph);

// The glyph as stored (16 colours, no transparency); null for None.
QImage glyphImage(TGlyph glyph);

// The glyph ready to draw: pixels of the bottom-left colour are transparent.
// A null image for None.
const QImage& glyphForDrawing(TGlyph glyph);

// The width a glyph takes in an item: its width, or 16 when there is none.
int glyphWidth(TGlyph glyph);
