// The host's custom controls: the custom edit box and the spinner, reached through interface
// objects that the plug-in asks for and releases. A spinner holds an int or a float value within
// its limits, clamps whatever it is set to, and shows its value in the custom edit it is linked
// to: integers as "%d", floats as the shortest fixed-point text that reads back as the same
// float, with at least one decimal ("30.0", "12.5", "0.001"), so that reading the edit back
// never changes a value.
#pragma once
#include "host/Win32Types.h"
#include "host/Window.h"

class ICustEdit {
public:
    virtual ~ICustEdit() = default;
    // Copies at most maxCount - 1 characters of the text.
    virtual void GetText(char* text, int maxCount) = 0;
    virtual void SetText(const char* text) = 0;
    virtual void SetText(int value) = 0;
    virtual void SetText(float value) = 0;
    // The text's leading number, read like atoi / atof; *valid tells whether there was one.
    virtual int GetInt(BOOL* valid = nullptr) = 0;
    virtual float GetFloat(BOOL* valid = nullptr) = 0;
    virtual void Enable(BOOL enable = TRUE) = 0;
    virtual BOOL IsEnabled() = 0;
};

class ISpinnerControl {
public:
    virtual ~ISpinnerControl() = default;
    virtual int GetIVal() = 0;
    virtual float GetFVal() = 0;
    // Sets the limits; with limitCurrent the current value is clamped to them at once.
    virtual void SetLimits(int min, int max, BOOL limitCurrent = TRUE) = 0;
    virtual void SetLimits(float min, float max, BOOL limitCurrent = TRUE) = 0;
    // The value change per pixel of mouse drag.
    virtual void SetScale(float scale) = 0;
    virtual float GetScale() = 0;
    // Clamps the value to the limits (NaN becomes the lower limit), shows it in the linked edit,
    // and with `notify` sends CC_SPINNER_CHANGE to the dialog.
    virtual void SetValue(int value, int notify) = 0;
    virtual void SetValue(float value, int notify) = 0;
    // Links the edit that shows the value; the type decides int or float.
    virtual void LinkToEdit(HWND edit, EditSpinnerType type) = 0;
    virtual void Enable(BOOL enable = TRUE) = 0;
    virtual BOOL IsEnabled() = 0;
};

// Interface objects for a custom edit / spinner window, or nullptr for any other window. Each
// one must be released; it stays safe to call (and does nothing) after its window is gone.
ICustEdit* GetICustEdit(HWND hwnd);
ISpinnerControl* GetISpinner(HWND hwnd);
void ReleaseICustEdit(ICustEdit* edit);
void ReleaseISpinner(ISpinnerControl* spinner);
// Interface objects handed out and not yet released (for leak checks).
int LiveCustomControlInterfaces();

// Sets up spinner `spinnerId` of the dialog with its limits and value, linked to edit `editId`,
// and returns its interface (to be released), or nullptr when either control is missing.
ISpinnerControl* SetupIntSpinner(HWND dialog, int spinnerId, int editId, int min, int max, int value);
ISpinnerControl* SetupFloatSpinner(HWND dialog, int spinnerId, int editId, float min, float max, float value,
                                   float scale = 0.1f);

// The spinner linked to a custom edit, or nullptr.
HWND SpinnerLinkedTo(HWND edit);

// Registers the custom controls; dialogs that use them can be created only afterwards.
void InitCustomControls(HINSTANCE instance);
BOOL CustomControlsInitialized();
// The platform's common controls (nothing to register on this host; recorded).
void InitCommonControls();

// What the host recorded of control initialisation: the calls in order, by name, and the
// instance the custom controls were registered for.
struct ControlInitRecord {
    int customControlCalls = 0;
    int commonControlCalls = 0;
    // 1-based position of the first call of each among all initialisation calls; 0 if none.
    int firstCustomControlCall = 0;
    int firstCommonControlCall = 0;
    HINSTANCE customControlsInstance = nullptr;
};
ControlInitRecord ControlInitialization();
