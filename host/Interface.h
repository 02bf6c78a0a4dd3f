// The host's core interface: what the plug-in asks of the application it runs in. A concrete host
// implements it and installs itself with SetCOREInterface; the plug-in never knows which host it
// runs in. All of these are called from the host's user-interface thread only.
#pragma once
#include "host/Bitmap.h"
#include "host/Scene.h"
#include "host/Win32Types.h"

// Progress callback: called by the host while the bar is shown; the plug-in passes one that
// does nothing and returns 0.
using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID);

// Directory codes for GetDir.
constexpr int APP_PLUGCFG_DIR = 9;

// How a run computes, never what it computes: the number of worker threads (0: the run's own
// default) and whether every ray is cast with the plain scan over all faces. A host whose user
// can choose these passes them here; they are not settings and are not saved.
struct RunEngineOptions {
    int threads = 0;
    bool reference = false;
};

class Interface {
public:
    virtual ~Interface() = default;

    // Selection.
    virtual int GetSelNodeCount() = 0;
    virtual INode* GetSelNode(int i) = 0;
    // The current animation time, passed on unchanged.
    virtual TimeValue GetTime() = 0;

    // Progress display with a cancel button.
    virtual void ProgressStart(const char* title, BOOL dispBar, LPTHREAD_START_ROUTINE fn, LPVOID arg) = 0;
    virtual void ProgressUpdate(int pct, BOOL showPct = TRUE, const char* title = nullptr) = 0;
    virtual void ProgressEnd() = 0;
    // Non-zero once the user has asked to cancel.
    virtual BOOL GetCancel() = 0;

    virtual HWND GetMAXHWnd() = 0;
    // Host directories; APP_PLUGCFG_DIR is the plug-in configuration directory.
    virtual const char* GetDir(int which) = 0;

    // Rollup pages of the command panel.
    virtual HWND AddRollupPage(HINSTANCE hInst, int dialogId, DLGPROC proc, const char* title, LPARAM param = 0,
                               DWORD flags = 0, int category = 4000) = 0;
    virtual void DeleteRollupPage(HWND page) = 0;
    virtual void RollupMouseMessage(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) = 0;

    // The engine options the host's user chose, read by the plug-in when a run starts. False (the
    // default) when the host offers none; the plug-in then keeps its own.
    virtual bool GetEngineOptions(RunEngineOptions& options) {
        (void)options;
        return false;
    }
};

// The core interface of the host the plug-in runs in (nullptr when no host is installed).
Interface* GetCOREInterface();
Interface* SetCOREInterface(Interface* ip);

// The host's bitmap manager.
BitmapManager* TheManager();
BitmapManager* SetTheManager(BitmapManager* manager);
