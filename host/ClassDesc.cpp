#include "host/ClassDesc.h"

#include <algorithm>
#include <cstring>

#include "host/ModuleResources.h"

const char* ClassDesc::GetRsrcString(INT_PTR id) {
    char buffer[256];
    if (id < 0 || LoadStringA(HInstance(), static_cast<UINT>(id), buffer, sizeof buffer) == 0) return nullptr;
    rsrcBuffer_ = buffer;
    return rsrcBuffer_.c_str();
}

FPInterface* ClassDesc::GetInterfaceAt(int i) {
    if (i < 0 || i >= static_cast<int>(interfaces_.size())) return nullptr;
    return interfaces_[static_cast<size_t>(i)];
}

FPInterface* ClassDesc::GetInterface(Interface_ID id) {
    for (FPInterface* fpi : interfaces_)
        if (fpi && fpi->GetID() == id) return fpi;
    return nullptr;
}

FPInterface* ClassDesc::GetInterface(const char* name) {
    if (!name) return nullptr;
    for (FPInterface* fpi : interfaces_)
        if (fpi && fpi->GetName() && std::strcmp(fpi->GetName(), name) == 0) return fpi;
    return nullptr;
}

void ClassDesc::AddInterface(FPInterface* fpi) {
    if (!fpi || GetInterface(fpi->GetID())) return;
    interfaces_.push_back(fpi);
}
