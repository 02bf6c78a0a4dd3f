// The utility's rollup page: opening and closing it, and its dialog procedure, which loads the
// settings into the controls when the page is created, saves them when it goes, and starts the
// chosen algorithm on "Generate".
#include <exception>
#include <string>

#include "host/CustomControls.h"
#include "host/Dialog.h"
#include "host/MessageBox.h"
#include "host/WindowMessages.h"
#include "plugin/GritUtility.h"
#include "plugin/Library.h"
#include "plugin/ResourceIds.h"

namespace {
constexpr const char* kCaption = "Murkwell";
constexpr int kRollupCategory = 4000;

// The thirteen controls that only some algorithms use; all others stay enabled.
constexpr int kAlgorithmControls[] = {
    IDC_XSIZ_EDIT,      IDC_XSIZ_SPIN,       IDC_YSIZ_EDIT, IDC_YSIZ_SPIN, IDC_MAPCHANNEL_EDIT,
    IDC_MAPCHANNEL_SPIN, IDC_NOISE_ON,       IDC_NOISESIZE_EDIT, IDC_NOISESIZE_SPIN, IDC_MTLID_ON,
    IDC_MTLID_EDIT,     IDC_MTLID_SPIN,      IDC_ADD_VERTEX_COLORS,
};
// Those that UV Map uses: all of them but "Accumulate vertex colors".
constexpr int kUvMapControls[] = {
    IDC_XSIZ_EDIT,      IDC_XSIZ_SPIN,       IDC_YSIZ_EDIT, IDC_YSIZ_SPIN, IDC_MAPCHANNEL_EDIT,
    IDC_MAPCHANNEL_SPIN, IDC_NOISE_ON,       IDC_NOISESIZE_EDIT, IDC_NOISESIZE_SPIN, IDC_MTLID_ON,
    IDC_MTLID_EDIT,     IDC_MTLID_SPIN,
};

int Checked(HWND hWnd, int id) { return IsDlgButtonChecked(hWnd, id) == BST_CHECKED ? 1 : 0; }

// An edit's value, or the record's own when the edit could not be reached.
int EditInt(ICustEdit* edit, int current) { return edit ? edit->GetInt() : current; }
float EditFloat(ICustEdit* edit, float current) { return edit ? edit->GetFloat() : current; }
void ShowInt(ISpinnerControl* spin, int value) {
    if (spin) spin->SetValue(value, FALSE);
}
void ShowFloat(ISpinnerControl* spin, float value) {
    if (spin) spin->SetValue(value, FALSE);
}

// A spinner linked to its edit box, with the setting's range and default.
ISpinnerControl* IntSpinner(HWND hWnd, int spinId, int editId, const SettingSpec<int>& s) {
    return SetupIntSpinner(hWnd, spinId, editId, s.min, s.max, s.defaultValue);
}
ISpinnerControl* FloatSpinner(HWND hWnd, int spinId, int editId, const SettingSpec<float>& s) {
    return SetupFloatSpinner(hWnd, spinId, editId, s.min, s.max, s.defaultValue, setting::kFloatDragScale);
}

void InitPanel(GritUtility& u, HWND hWnd) {
    LoadSettings(u.settings);

    u.mapWidthEdit = GetICustEdit(GetDlgItem(hWnd, IDC_XSIZ_EDIT));
    u.mapHeightEdit = GetICustEdit(GetDlgItem(hWnd, IDC_YSIZ_EDIT));
    u.horizontalSpreadEdit = GetICustEdit(GetDlgItem(hWnd, IDC_HSPREAD_EDIT));
    u.verticalSpreadEdit = GetICustEdit(GetDlgItem(hWnd, IDC_VSPREAD_EDIT));
    u.distEdit = GetICustEdit(GetDlgItem(hWnd, IDC_DIST_EDIT));
    u.mapChannelEdit = GetICustEdit(GetDlgItem(hWnd, IDC_MAPCHANNEL_EDIT));
    u.noiseSizeEdit = GetICustEdit(GetDlgItem(hWnd, IDC_NOISESIZE_EDIT));
    u.mtlIDEdit = GetICustEdit(GetDlgItem(hWnd, IDC_MTLID_EDIT));

    u.distSpin = FloatSpinner(hWnd, IDC_DIST_SPIN, IDC_DIST_EDIT, setting::dist);
    u.horizontalSpreadSpin = IntSpinner(hWnd, IDC_HSPREAD_SPIN, IDC_HSPREAD_EDIT, setting::horizontalSpread);
    u.verticalSpreadSpin = IntSpinner(hWnd, IDC_VSPREAD_SPIN, IDC_VSPREAD_EDIT, setting::verticalSpread);
    u.mapWidthSpin = IntSpinner(hWnd, IDC_XSIZ_SPIN, IDC_XSIZ_EDIT, setting::XSiz);
    u.mapHeightSpin = IntSpinner(hWnd, IDC_YSIZ_SPIN, IDC_YSIZ_EDIT, setting::YSiz);
    u.mapChannelSpin = IntSpinner(hWnd, IDC_MAPCHANNEL_SPIN, IDC_MAPCHANNEL_EDIT, setting::mapChannel);
    u.mtlIDSpin = IntSpinner(hWnd, IDC_MTLID_SPIN, IDC_MTLID_EDIT, setting::mtlID);
    u.noiseSizeSpin = FloatSpinner(hWnd, IDC_NOISESIZE_SPIN, IDC_NOISESIZE_EDIT, setting::noiseSize);

    u.WriteControls(hWnd);
    u.UpdateControlStates(hWnd, u.settings.algorithm);
}

template <class T>
void Release(T*& handle, void (*release)(T*)) {
    if (handle) release(handle);
    handle = nullptr;
}

void ReleaseControls(GritUtility& u) {
    Release(u.mapWidthEdit, ReleaseICustEdit);
    Release(u.mapHeightEdit, ReleaseICustEdit);
    Release(u.horizontalSpreadEdit, ReleaseICustEdit);
    Release(u.verticalSpreadEdit, ReleaseICustEdit);
    Release(u.distEdit, ReleaseICustEdit);
    Release(u.mapChannelEdit, ReleaseICustEdit);
    Release(u.noiseSizeEdit, ReleaseICustEdit);
    Release(u.mtlIDEdit, ReleaseICustEdit);
    Release(u.mapWidthSpin, ReleaseISpinner);
    Release(u.mapHeightSpin, ReleaseISpinner);
    Release(u.horizontalSpreadSpin, ReleaseISpinner);
    Release(u.verticalSpreadSpin, ReleaseISpinner);
    Release(u.distSpin, ReleaseISpinner);
    Release(u.mapChannelSpin, ReleaseISpinner);
    Release(u.noiseSizeSpin, ReleaseISpinner);
    Release(u.mtlIDSpin, ReleaseISpinner);
}

void Generate(GritUtility& u, HWND hWnd) {
    u.ReadControls(hWnd);
    SaveSettings(u.settings);
    // The host may say how the run computes (threads, plain scan); otherwise the utility keeps
    // what it has.
    RunEngineOptions engine;
    if (Interface* ip = u.Core(); ip && ip->GetEngineOptions(engine)) {
        u.engine.threads = engine.threads;
        u.engine.reference = engine.reference;
    }
    switch (u.settings.algorithm) {
        case ALGORITHM_UV_MAP:
            u.GenerateUvGritMap();
            break;
        case ALGORITHM_VERTEX_COLORS:
            u.BuildVertexGrit();
            break;
        default:
            MessageBoxA(nullptr, "This Grit type is not implemented yet", kCaption, MB_OK | MB_ICONINFORMATION);
            break;
    }
}

void Command(GritUtility& u, HWND hWnd, int id) {
    switch (id) {
        case IDC_GENERATE:
            Generate(u, hWnd);
            break;
        case IDC_ABOUT:
            DialogBoxParamA(LibInstance(), IDD_ABOUT, GetActiveWindow(), GritUtility::AboutDialogProc, 0);
            break;
        case IDC_UV_MAP:
        case IDC_VERTEX_COLORS:
        case IDC_SPATIAL:
            // Takes effect in the record at once; saved with the next Generate or closing.
            u.settings.algorithm = id;
            u.UpdateControlStates(hWnd, id);
            break;
        default:
            break;  // check boxes reach the record through ReadControls
    }
}

INT_PTR Dispatch(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    GritUtility& u = TheGritUtility();
    switch (message) {
        case WM_INITDIALOG:
            InitPanel(u, hWnd);
            return TRUE;
        case WM_DESTROY:
            u.ReadControls(hWnd);
            SaveSettings(u.settings);
            ReleaseControls(u);
            // A host that takes the page down without closing the utility (at its own exit, say)
            // must not leave the utility holding the gone page and host.
            if (u.panelWindow == hWnd) {
                u.panelWindow = nullptr;
                u.coreInterface = nullptr;
                u.utilityInterface = nullptr;
            }
            return TRUE;
        case WM_COMMAND:
            Command(u, hWnd, LOWORD(wParam));
            return TRUE;
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
            // The host lets the user drag the command panel by its rollup pages. Only while the
            // panel is open is there a host to pass them to.
            if (u.coreInterface) u.coreInterface->RollupMouseMessage(hWnd, message, wParam, lParam);
            return TRUE;
        default:
            return FALSE;
    }
}
}  // namespace

void GritUtility::OpenPanel(Interface* ip, IUtil* iu) {
    coreInterface = ip;
    utilityInterface = iu;
    if (!ip) return;
    panelWindow = ip->AddRollupPage(LibInstance(), IDD_PANEL, PanelDialogProc, LoadResourceString(IDS_PARAMS), 0, 0,
                                    kRollupCategory);
}

void GritUtility::ClosePanel(Interface* ip, IUtil* iu) {
    (void)iu;
    coreInterface = nullptr;
    utilityInterface = nullptr;
    // The page's destruction reads the controls and saves the settings.
    if (ip && panelWindow) ip->DeleteRollupPage(panelWindow);
    panelWindow = nullptr;
}

INT_PTR GritUtility::PanelDialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // The host called in; nothing may be thrown back at it.
    try {
        return Dispatch(hWnd, message, wParam, lParam);
    } catch (const std::exception& e) {
        MessageBoxA(nullptr, (std::string("The panel could not complete the action: ") + e.what()).c_str(), kCaption,
                    MB_OK | MB_ICONINFORMATION);
    } catch (...) {
        MessageBoxA(nullptr, "The panel could not complete the action", kCaption, MB_OK | MB_ICONINFORMATION);
    }
    return TRUE;
}

void GritUtility::ReadControls(HWND hWnd) {
    GritSettings& s = settings;
    s.algorithm = Checked(hWnd, IDC_UV_MAP)          ? ALGORITHM_UV_MAP
                  : Checked(hWnd, IDC_VERTEX_COLORS) ? ALGORITHM_VERTEX_COLORS
                  : Checked(hWnd, IDC_SPATIAL)       ? ALGORITHM_SPATIAL
                                                     : ALGORITHM_UV_MAP;
    s.addVertexColors = Checked(hWnd, IDC_ADD_VERTEX_COLORS);
    // Values come from the edit boxes' text, not from the spinners.
    s.XSiz = EditInt(mapWidthEdit, s.XSiz);
    s.YSiz = EditInt(mapHeightEdit, s.YSiz);
    s.verticalSpread = EditInt(verticalSpreadEdit, s.verticalSpread);
    s.horizontalSpread = EditInt(horizontalSpreadEdit, s.horizontalSpread);
    s.dist = EditFloat(distEdit, s.dist);
    s.mapChannel = EditInt(mapChannelEdit, s.mapChannel);
    s.selectedOnly = Checked(hWnd, IDC_SELECTED_ONLY);
    s.noiseOn = Checked(hWnd, IDC_NOISE_ON);
    s.noiseSize = EditFloat(noiseSizeEdit, s.noiseSize);
    s.mtlIDOn = Checked(hWnd, IDC_MTLID_ON);
    s.mtlID = EditInt(mtlIDEdit, s.mtlID);
}

void GritUtility::WriteControls(HWND hWnd) {
    GritSettings& s = settings;
    if (s.algorithm != ALGORITHM_UV_MAP && s.algorithm != ALGORITHM_VERTEX_COLORS && s.algorithm != ALGORITHM_SPATIAL)
        s.algorithm = ALGORITHM_UV_MAP;
    CheckRadioButton(hWnd, IDC_UV_MAP, IDC_SPATIAL, s.algorithm);
    CheckDlgButton(hWnd, IDC_SELECTED_ONLY, s.selectedOnly ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(hWnd, IDC_NOISE_ON, s.noiseOn ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(hWnd, IDC_MTLID_ON, s.mtlIDOn ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(hWnd, IDC_ADD_VERTEX_COLORS, s.addVertexColors ? BST_CHECKED : BST_UNCHECKED);
    // Each spinner clamps to its limits and shows the value in its edit box.
    ShowFloat(distSpin, s.dist);
    ShowInt(horizontalSpreadSpin, s.horizontalSpread);
    ShowInt(verticalSpreadSpin, s.verticalSpread);
    ShowInt(mapWidthSpin, s.XSiz);
    ShowInt(mapHeightSpin, s.YSiz);
    ShowInt(mapChannelSpin, s.mapChannel);
    ShowInt(mtlIDSpin, s.mtlID);
    ShowFloat(noiseSizeSpin, s.noiseSize);
}

void GritUtility::UpdateControlStates(HWND hWnd, int algorithm) {
    for (int id : kAlgorithmControls) EnableWindow(GetDlgItem(hWnd, id), FALSE);
    if (algorithm == ALGORITHM_UV_MAP) {
        for (int id : kUvMapControls) EnableWindow(GetDlgItem(hWnd, id), TRUE);
    } else if (algorithm == ALGORITHM_VERTEX_COLORS) {
        EnableWindow(GetDlgItem(hWnd, IDC_ADD_VERTEX_COLORS), TRUE);
    }
}
