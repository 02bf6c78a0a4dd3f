// The class descriptor of the utility: what the host lists under the plug-in's category, and
// how it gets the one GritUtility. The library has exactly one, static, descriptor.
#pragma once
#include "host/ClassDesc.h"

// The utility's class id.
constexpr Class_ID GRIT_CLASS_ID(0x25E0D55Bu, 0x2D91FD3Eu);

class GritClassDesc : public ClassDesc2 {
public:
    GritClassDesc();
    int IsPublic() override { return 1; }
    // The single static GritUtility, whatever the flag; the host never frees it.
    void* Create(BOOL loading) override;
    const char* ClassName() override;   // string 3, "Murkwell"
    SClass_ID SuperClassID() override { return UTILITY_CLASS_ID; }
    Class_ID ClassID() override { return GRIT_CLASS_ID; }
    const char* Category() override;    // string 2, "Velmora Software"
    const char* InternalName() override { return "Murkwell"; }
    HINSTANCE HInstance() override;
};

// The library's single GritClassDesc.
GritClassDesc& TheGritClassDesc();
