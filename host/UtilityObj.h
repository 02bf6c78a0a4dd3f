// The host's utility-object base class: what the Utilities panel opens and closes.
#pragma once
#include "host/CStr.h"
#include "host/Interface.h"

// The host's utility-panel interface handed to OpenPanel and ClosePanel.
class IUtil {
public:
    virtual ~IUtil() = default;
    virtual void CloseUtility() = 0;
};

class UtilityObj {
public:
    virtual ~UtilityObj() = default;
    virtual void OpenPanel(Interface* ip, IUtil* iu) = 0;   // the host opens the utility
    virtual void ClosePanel(Interface* ip, IUtil* iu) = 0;  // the host closes it
    virtual void SelectionSetChanged(Interface* ip, IUtil* iu) { (void)ip; (void)iu; }
    virtual void DeleteThis() = 0;  // the host is done with the object
    virtual void SetStartupParam(CStr param) { (void)param; }
};
