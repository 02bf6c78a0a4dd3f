// Placeholder until the panel lands: the utility stores the interfaces it is given.
#include "plugin/GritUtility.h"

void GritUtility::OpenPanel(Interface* ip, IUtil* iu) {
    coreInterface = ip;
    utilityInterface = iu;
}

void GritUtility::ClosePanel(Interface* ip, IUtil* iu) {
    (void)ip;
    (void)iu;
    coreInterface = nullptr;
    utilityInterface = nullptr;
    panelWindow = nullptr;
}
