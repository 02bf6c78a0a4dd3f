#include "standalone/SceneNodes.h"

std::vector<std::unique_ptr<SceneNode>> MakeSceneNodes(ImportedScene& scene) {
    std::vector<std::unique_ptr<SceneNode>> nodes;
    for (ImportedObject& o : scene.objects) {
        std::unique_ptr<Object> object;
        if (o.HasFaces())
            object = std::make_unique<EditableMeshObject>(std::move(o.mesh));
        else
            object = std::make_unique<UnconvertibleObject>(kGeomObjectClassId);
        o.mesh = Mesh{};
        nodes.push_back(std::make_unique<SceneNode>(o.name, std::move(object)));
    }
    return nodes;
}
