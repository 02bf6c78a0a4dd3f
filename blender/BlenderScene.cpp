#include "blender/BlenderScene.h"

namespace {

// Class-family code of a geometric object.
constexpr SClass_ID kGeomObjectClassId = 0x10;

// A mesh object: already a triangle mesh, owned by its node.
class MeshObject : public TriObject {
public:
    explicit MeshObject(Mesh m) { mesh = std::move(m); }
    SClass_ID SuperClassID() override { return kGeomObjectClassId; }
    int CanConvertToType(Class_ID cid) override { return cid == triObjectClassID; }
    Object* ConvertToType(TimeValue, Class_ID cid) override { return cid == triObjectClassID ? this : nullptr; }
    void DeleteThis() override {}
};

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

// Empties, cameras, lights: nothing to convert.
class NonGeometricObject : public Object {
public:
    SClass_ID SuperClassID() override { return 0; }
    int CanConvertToType(Class_ID) override { return 0; }
    Object* ConvertToType(TimeValue, Class_ID) override { return nullptr; }
    void DeleteThis() override {}
};

}  // namespace

BlenderNode::BlenderNode(std::string name, int kind, Mesh mesh) : name_(std::move(name)) {
    if (kind == MW_OBJECT_MESH)
        object_ = std::make_unique<MeshObject>(std::move(mesh));
    else if (kind == MW_OBJECT_CONVERTIBLE)
        object_ = std::make_unique<ConvertibleObject>(std::move(mesh));
    else
        object_ = std::make_unique<NonGeometricObject>();
}

BlenderNode::~BlenderNode() = default;

int BlenderNode::NotifyDependents(Interval, PartID, RefMessage message, SClass_ID, BOOL, void*) {
    if (message == REFMSG_CHANGE) modified_ = true;
    return 1;
}

Mesh* BlenderNode::OwnMesh() {
    auto* tri = dynamic_cast<MeshObject*>(object_.get());
    return tri ? &tri->mesh : nullptr;
}

std::vector<INode*> BlenderSelection::Nodes() const {
    if (count == 1 && node) return {node.get()};
    // The run only counts the selection when it is not exactly one object.
    return std::vector<INode*>(static_cast<size_t>(count > 0 ? count : 0), nullptr);
}
