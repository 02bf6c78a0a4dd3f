// Identifiers of the plug-in's resources: dialogs, controls, strings and the About picture.
#pragma once

// Dialogs.
constexpr int IDD_PANEL = 101;  // the rollup page
constexpr int IDD_ABOUT = 102;  // the About box
constexpr int IDB_ABOUT_PICTURE = 102;

// Strings.
constexpr int IDS_LIBDESCRIPTION = 1;
constexpr int IDS_CATEGORY = 2;
constexpr int IDS_CLASS_NAME = 3;
constexpr int IDS_PARAMS = 4;

// Controls of the rollup page.
constexpr int IDC_GENERATE = 1001;
constexpr int IDC_SELECTED_ONLY = 1002;
constexpr int IDC_ABOUT = 1005;
constexpr int IDC_NOISE_ON = 1006;
constexpr int IDC_MTLID_ON = 1007;
constexpr int IDC_UV_MAP = 1008;         // the algorithm radio buttons; their ids are the
constexpr int IDC_VERTEX_COLORS = 1009;  // algorithm identifiers the settings store
constexpr int IDC_SPATIAL = 1010;
constexpr int IDC_ADD_VERTEX_COLORS = 1011;
constexpr int IDC_XSIZ_EDIT = 1490;
constexpr int IDC_YSIZ_EDIT = 1491;
constexpr int IDC_DIST_EDIT = 1492;
constexpr int IDC_VSPREAD_EDIT = 1493;
constexpr int IDC_HSPREAD_EDIT = 1494;
constexpr int IDC_MAPCHANNEL_EDIT = 1495;
constexpr int IDC_XSIZ_SPIN = 1496;
constexpr int IDC_YSIZ_SPIN = 1497;
constexpr int IDC_DIST_SPIN = 1498;
constexpr int IDC_VSPREAD_SPIN = 1499;
constexpr int IDC_HSPREAD_SPIN = 1500;
constexpr int IDC_MAPCHANNEL_SPIN = 1501;
constexpr int IDC_NOISESIZE_EDIT = 1502;
constexpr int IDC_NOISESIZE_SPIN = 1503;
constexpr int IDC_MTLID_EDIT = 1504;
constexpr int IDC_MTLID_SPIN = 1505;
