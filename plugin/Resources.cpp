#include "plugin/Resources.h"

#include "plugin/ResourceIds.h"

namespace {
using K = ControlKind;

// The rollup page: a child window without caption. Controls in template order.
constexpr DialogItemTemplate kPanelItems[] = {
    {IDC_UV_MAP, K::AutoRadioButton, "UV Map", 20, 32, 42, 10},
    {IDC_VERTEX_COLORS, K::AutoRadioButton, "Vertex Colors", 20, 44, 57, 10},
    {IDC_SPATIAL, K::AutoRadioButton, "Spatial", 20, 56, 37, 10},
    {IDC_XSIZ_EDIT, K::CustomEdit, "", 14, 159, 25, 10},
    {IDC_YSIZ_EDIT, K::CustomEdit, "", 60, 159, 25, 10},
    {IDC_DIST_EDIT, K::CustomEdit, "", 60, 75, 25, 10},
    {IDC_VSPREAD_EDIT, K::CustomEdit, "", 60, 117, 25, 10},
    {IDC_HSPREAD_EDIT, K::CustomEdit, "", 60, 129, 25, 10},
    {IDC_MAPCHANNEL_EDIT, K::CustomEdit, "", 60, 182, 25, 10},
    {IDC_SELECTED_ONLY, K::AutoCheckBox, "Selected Faces Only", 13, 91, 81, 10, WS_TABSTOP},
    {IDC_NOISE_ON, K::AutoCheckBox, "On", 13, 207, 25, 10, WS_TABSTOP},
    {IDC_NOISESIZE_EDIT, K::CustomEdit, "", 59, 215, 25, 10},
    {IDC_MTLID_ON, K::AutoCheckBox, "On", 13, 242, 25, 10, WS_TABSTOP},
    {IDC_MTLID_EDIT, K::CustomEdit, "", 59, 251, 25, 10},
    {IDC_GENERATE, K::PushButton, "Generate", 29, 287, 50, 14},
    {IDC_ABOUT, K::PushButton, "About...", 29, 302, 50, 14},
    {IDC_XSIZ_SPIN, K::Spinner, "", 40, 159, 7, 10},
    {IDC_STATIC, K::CentredLabel, "x", 50, 159, 8, 10},
    {IDC_STATIC, K::GroupBox, "Map Size", 7, 148, 94, 28},
    {IDC_YSIZ_SPIN, K::Spinner, "", 86, 159, 7, 10},
    {IDC_STATIC, K::CentredLabel, "Murkwell BETA V0.26b", 7, 7, 94, 12},
    {IDC_STATIC, K::Label, "Distance :", 15, 75, 33, 10},
    {IDC_STATIC, K::Label, "Vertical", 15, 117, 33, 10},
    {IDC_DIST_SPIN, K::Spinner, "", 86, 75, 7, 10},
    {IDC_VSPREAD_SPIN, K::Spinner, "", 86, 117, 7, 10},
    {IDC_STATIC, K::GroupBox, "Ray Spread", 7, 105, 94, 40},
    {IDC_STATIC, K::Label, "Horizontal :", 15, 129, 33, 10},
    {IDC_HSPREAD_SPIN, K::Spinner, "", 86, 129, 7, 10},
    {IDC_MAPCHANNEL_SPIN, K::Spinner, "", 86, 182, 7, 10},
    {IDC_STATIC, K::Label, "Map Channel", 8, 182, 47, 10},
    {IDC_STATIC, K::GroupBox, "Noise", 7, 197, 94, 33},
    {IDC_NOISESIZE_SPIN, K::Spinner, "", 85, 215, 7, 10},
    {IDC_STATIC, K::Label, "Size", 38, 215, 18, 10},
    {IDC_STATIC, K::GroupBox, "Filter by Material ID", 7, 232, 94, 33},
    {IDC_MTLID_SPIN, K::Spinner, "", 85, 251, 7, 10},
    {IDC_STATIC, K::Label, "ID", 37, 251, 18, 10},
    {IDC_STATIC, K::GroupBox, "Algorithm", 7, 21, 94, 50},
    {IDC_ADD_VERTEX_COLORS, K::AutoCheckBox, "Accumulate vertex colors", 7, 270, 94, 10, WS_TABSTOP},
};

constexpr DialogTemplate kPanel = {
    IDD_PANEL, WS_CHILD, "", 0, 0, 108, 323, "MS Sans Serif", 8,
    kPanelItems, static_cast<int>(sizeof kPanelItems / sizeof kPanelItems[0]),
};

// The About box: a modal pop-up with caption and system menu.
constexpr DialogItemTemplate kAboutItems[] = {
    {IDC_STATIC, K::Picture, "", 13, 7, 187, 68, 0, IDB_ABOUT_PICTURE},
    {IDC_STATIC, K::CentredLabel, "Murkwell V0.26b [BETA]", 47, 84, 119, 11},
    {IDC_STATIC, K::CentredLabel,
     "Written by the Murkwell team at Velmora Software.\n"
     "More plug-ins are on the Velmora Software web site.",
     7, 103, 200, 24},
    {IDOK, K::DefPushButton, "OK", 81, 137, 50, 14, WS_TABSTOP},
};

constexpr DialogTemplate kAbout = {
    IDD_ABOUT, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, "About Murkwell", 0, 0, 214, 157,
    "MS Sans Serif", 8, kAboutItems, static_cast<int>(sizeof kAboutItems / sizeof kAboutItems[0]),
};

constexpr const DialogTemplate* kDialogs[] = {&kPanel, &kAbout};

constexpr StringResource kStrings[] = {
    {IDS_LIBDESCRIPTION, "Murkwell"},
    {IDS_CATEGORY, "Velmora Software"},
    {IDS_CLASS_NAME, "Murkwell"},
    {IDS_PARAMS, "Parameters"},
};

// The module file is murkwell-plugin.so; the version texts carry that name.
constexpr VersionStringEntry kVersionStrings[] = {
    {"Comments", "TECH: "},
    {"CompanyName", "Velmora Software"},
    {"FileDescription", "murkwell-plugin"},
    {"FileVersion", "0, 2, 6, 0"},
    {"InternalName", "murkwell-plugin"},
    {"LegalCopyright", ""},
    {"LegalTrademarks", ""},
    {"OriginalFilename", "murkwell-plugin.so"},
    {"PrivateBuild", ""},
    {"ProductName", "3D Studio MAX"},
    {"ProductVersion", "0, 2, 6, 0"},
    {"SpecialBuild", ""},
};

constexpr VersionRecord kVersion = {
    {0, 2, 6, 0}, {0, 2, 6, 0}, kVersionStrings,
    static_cast<int>(sizeof kVersionStrings / sizeof kVersionStrings[0]),
    0x0409, 1200,  // U.S. English, Unicode
};

HINSTANCE__ g_module = {
    "murkwell-plugin",
    kDialogs, static_cast<int>(sizeof kDialogs / sizeof kDialogs[0]),
    kStrings, static_cast<int>(sizeof kStrings / sizeof kStrings[0]),
    &kVersion,
};
}  // namespace

HINSTANCE PluginModule() { return &g_module; }
const DialogTemplate& PanelDialogTemplate() { return kPanel; }
const DialogTemplate& AboutDialogTemplate() { return kAbout; }
const VersionRecord& PluginVersionRecord() { return kVersion; }
