// Dialog templates as data, the way a resource script holds them: the dialog's size, caption,
// style and font, and its controls in template order, each with id, kind, text and position.
// Positions and sizes are in dialog units; the dialog manager maps them to pixels.
#pragma once
#include "host/Win32Types.h"

// The id of labels and group boxes, which are never addressed.
constexpr int IDC_STATIC = -1;

// Window style bits a template carries (the Windows values).
constexpr DWORD WS_POPUP = 0x80000000u;
constexpr DWORD WS_CHILD = 0x40000000u;
constexpr DWORD WS_CAPTION = 0x00C00000u;
constexpr DWORD WS_SYSMENU = 0x00080000u;
constexpr DWORD WS_TABSTOP = 0x00010000u;
constexpr DWORD DS_MODALFRAME = 0x00000080u;

enum class ControlKind : unsigned char {
    PushButton,         // sends BN_CLICKED
    DefPushButton,      // the default push button
    AutoRadioButton,    // checks itself and unchecks the other radios of its group when clicked
    AutoCheckBox,       // toggles itself when clicked
    CustomEdit,         // the host's custom edit box ("CustEdit")
    Spinner,            // the host's spinner ("SpinnerControl"), linked to a custom edit
    Label,              // left-aligned static text
    CentredLabel,       // centred static text
    GroupBox,           // a frame with a title
    Picture,            // a bitmap resource, named by imageId
};

struct DialogItemTemplate {
    int id;
    ControlKind kind;
    const char* text;
    short x, y, cx, cy;
    DWORD style = 0;   // extra style bits, e.g. WS_TABSTOP
    int imageId = 0;   // Picture: the bitmap resource it shows
};

struct DialogTemplate {
    int id;
    DWORD style;
    const char* caption;  // "" for a page without caption
    short x, y, cx, cy;
    const char* font;
    short pointSize;
    const DialogItemTemplate* items;
    int itemCount;
};
