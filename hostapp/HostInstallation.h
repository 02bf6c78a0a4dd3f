// A host program installs itself for the plug-in: its core interface, its bitmap manager and its
// message-box handler, for the lifetime of one of these, restoring the previous ones afterwards.
#pragma once
#include "host/Bitmap.h"
#include "host/Interface.h"
#include "host/MessageBox.h"

class HostInstallation {
public:
    HostInstallation(Interface* core, BitmapManager* manager, MessageBoxHandler boxes);
    ~HostInstallation();
    HostInstallation(const HostInstallation&) = delete;
    HostInstallation& operator=(const HostInstallation&) = delete;

private:
    Interface* prevCore_;
    BitmapManager* prevManager_;
    MessageBoxHandler prevBoxes_;
};
