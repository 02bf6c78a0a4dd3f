#include "plugin/GritClassDesc.h"

#include "plugin/GritUtility.h"
#include "plugin/Library.h"
#include "plugin/ResourceIds.h"

// The utility exists before the descriptor, so that at unload the descriptor goes first and the
// utility last, the reverse order.
GritClassDesc::GritClassDesc() { TheGritUtility(); }

void* GritClassDesc::Create(BOOL loading) {
    (void)loading;
    UtilityObj* utility = &TheGritUtility();
    return utility;
}

const char* GritClassDesc::ClassName() { return LoadResourceString(IDS_CLASS_NAME); }
const char* GritClassDesc::Category() { return LoadResourceString(IDS_CATEGORY); }
HINSTANCE GritClassDesc::HInstance() { return LibInstance(); }

GritClassDesc& TheGritClassDesc() {
    static GritClassDesc descriptor;
    return descriptor;
}
