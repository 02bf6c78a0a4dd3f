#include "hostapp/HostInstallation.h"

#include <utility>

HostInstallation::HostInstallation(Interface* core, BitmapManager* manager, MessageBoxHandler boxes)
    : prevCore_(SetCOREInterface(core)),
      prevManager_(SetTheManager(manager)),
      prevBoxes_(SetMessageBoxHandler(std::move(boxes))) {}

HostInstallation::~HostInstallation() {
    SetMessageBoxHandler(std::move(prevBoxes_));
    SetTheManager(prevManager_);
    SetCOREInterface(prevCore_);
}
