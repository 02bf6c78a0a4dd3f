#include "standalone/SceneNodes.h"

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

std::vector<std::unique_ptr<SceneNode>> MakeSceneNodes(ImportedScene& scene) {
    std::vector<std::unique_ptr<SceneNode>> nodes;
    for (ImportedObject& o : scene.objects) {
        std::unique_ptr<Object> object;
        if (o.HasFaces())
            object = std::make_unique<EditableMeshObject>(std::move(o.mesh));
        else
            object = std::make_unique<FacelessObject>();
        o.mesh = Mesh{};
        nodes.push_back(std::make_unique<SceneNode>(o.name, std::move(object)));
    }
    return nodes;
}
