#include "hostapp/HostApplication.h"

INode* HostApplication::GetSelNode(int i) {
    return i >= 0 && i < GetSelNodeCount() ? selection_[static_cast<size_t>(i)] : nullptr;
}
