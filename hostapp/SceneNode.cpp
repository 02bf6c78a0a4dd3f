#include "hostapp/SceneNode.h"

SceneNode::SceneNode(std::string name, std::unique_ptr<Object> object)
    : name_(std::move(name)), object_(std::move(object)) {}

int SceneNode::NotifyDependents(Interval, PartID, RefMessage message, SClass_ID, BOOL, void*) {
    if (message == REFMSG_CHANGE) {
        modified_ = true;
        notices_++;
    }
    return 1;
}

Mesh* SceneNode::EditableMesh() {
    auto* tri = dynamic_cast<EditableMeshObject*>(object_.get());
    return tri ? &tri->mesh : nullptr;
}
