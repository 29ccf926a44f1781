#pragma once
// The toolkit's value types of forms and controls, with their Windows
// numbering, and their mapping onto Qt.

#include <Qt>

class QColor;
class QCursor;
class QFont;
class QWidget;

namespace platform {

// A Windows colour, 0x00BBGGRR, or a system colour (high byte 0x80).
using TColor = int;
constexpr TColor clBtnFace = static_cast<TColor>(0x8000000F);
constexpr TColor clWindowText = static_cast<TColor>(0x80000008);
constexpr TColor clWindow = static_cast<TColor>(0x80000005);
QColor ToQColor(TColor color);

// Cursor numbers of the toolkit (crHourGlass is -11).
using TCursor = int;
enum : TCursor {
    crDefault = 0,
    crNone = -1,
    crArrow = -2,
    crCross = -3,
    crIBeam = -4,
    crSizeNESW = -6,
    crSizeNS = -7,
    crSizeNWSE = -8,
    crSizeWE = -9,
    crUpArrow = -10,
    crHourGlass = -11,
    crDrag = -12,
    crNoDrop = -13,
    crHSplit = -14,
    crVSplit = -15,
    crMultiDrag = -16,
    crSQLWait = -17,
    crNo = -18,
    crAppStart = -19,
    crHelp = -20,
    crHandPoint = -21,
    crSizeAll = -22,
};
Qt::CursorShape ToQtCursor(TCursor cursor);

// Window placement.
enum TPosition {
    poDesigned,
    poDefault,
    poDefaultPosOnly,
    poDefaultSizeOnly,
    poScreenCenter,
    poDesktopCenter,
    poMainFormCenter,
    poOwnerFormCenter,
};

// Applies a placement to a top-level window about to be shown.
void ApplyPosition(QWidget* form, TPosition position);

// "MS Sans Serif" at a height in pixels, with a sans-serif fallback where the
// font is missing (as on Linux).
QFont SansSerif(int pixelHeight);

// What every form of the program is designed with: the button-face colour
// behind window-text coloured writing, and "MS Sans Serif" of 13 pixels.
void ApplyFormDefaults(QWidget* form);

} // namespace platform
