#include "blender/BlenderScene.h"

namespace {

// The triangle-mesh copy a conversion hands out; the caller deletes it.
class ConvertedMeshObject : public TriObject {
public:
    explicit ConvertedMeshObject(const Mesh& m) { mesh = m; }
    SClass_ID SuperClassID() override { return kGeomObjectClassId; }
    int CanConvertToType(Class_ID cid) override { return cid == triObjectClassID; }
    Object* ConvertToType(TimeValue, Class_ID cid) override { return cid == triObjectClassID ? this : nullptr; }
    void DeleteThis() override { delete this; }
};

// Curves, text and other geometry that is no mesh itself: each conversion builds a new mesh.
class ConvertibleObject : public Object {
public:
    explicit ConvertibleObject(Mesh m) : mesh_(std::move(m)) {}
    SClass_ID SuperClassID() override { return kGeomObjectClassId; }
    int CanConvertToType(Class_ID cid) override { return cid == triObjectClassID; }
    Object* ConvertToType(TimeValue, Class_ID cid) override {
        return cid == triObjectClassID ? new ConvertedMeshObject(mesh_) : nullptr;
    }
    void DeleteThis() override {}

private:
    Mesh mesh_;
};

}  // namespace

std::unique_ptr<SceneNode> MakeBlenderNode(std::string name, int kind, Mesh mesh) {
    std::unique_ptr<Object> object;
    if (kind == MW_OBJECT_MESH)
        object = std::make_unique<EditableMeshObject>(std::move(mesh));
    else if (kind == MW_OBJECT_CONVERTIBLE)
        object = std::make_unique<ConvertibleObject>(std::move(mesh));
    else
        object = std::make_unique<UnconvertibleObject>(0);  // empties, cameras, lights: no geometry
    return std::make_unique<SceneNode>(std::move(name), std::move(object));
}

std::vector<INode*> BlenderSelection::Nodes() const {
    if (count == 1 && node) return {node.get()};
    // The run only counts the selection when it is not exactly one object.
    return std::vector<INode*>(static_cast<size_t>(count > 0 ? count : 0), nullptr);
}
