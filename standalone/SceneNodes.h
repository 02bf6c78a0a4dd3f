// The standalone host's scene: one node per imported object. A node with faces holds an editable
// triangle mesh (its conversion to a triangle-mesh object yields the object itself); a node
// without faces holds an object that cannot become a triangle mesh. Change notices mark the node
// modified, which is how the host knows that a run rewrote the mesh.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "host/Scene.h"
#include "standalone/ImportedScene.h"

// Class-family code of a geometric object.
inline constexpr SClass_ID kGeomObjectClassId = 0x10;

// An editable mesh: already a triangle-mesh object.
class EditableMeshObject : public TriObject {
public:
    explicit EditableMeshObject(Mesh m) { mesh = std::move(m); }
    SClass_ID SuperClassID() override { return kGeomObjectClassId; }
    int CanConvertToType(Class_ID cid) override { return cid == triObjectClassID; }
    Object* ConvertToType(TimeValue, Class_ID cid) override { return cid == triObjectClassID ? this : nullptr; }
    void DeleteThis() override {}  // owned by its node
};

// An object with no faces: nothing to convert.
class FacelessObject : public Object {
public:
    SClass_ID SuperClassID() override { return kGeomObjectClassId; }
    int CanConvertToType(Class_ID) override { return 0; }
    Object* ConvertToType(TimeValue, Class_ID) override { return nullptr; }
    void DeleteThis() override {}  // owned by its node
};

class SceneNode : public INode {
public:
    SceneNode(std::string name, std::unique_ptr<Object> object);
    const char* GetName() override { return name_.c_str(); }
    ObjectState EvalWorldState(TimeValue, BOOL) override { return ObjectState{object_.get()}; }
    Object* GetObjectRef() override { return object_.get(); }
    int NotifyDependents(Interval, PartID, RefMessage, SClass_ID, BOOL, void*) override;

    bool Modified() const { return modified_; }
    int ChangeNotices() const { return notices_; }
    // The node's mesh, or nullptr for a node without faces.
    Mesh* EditableMesh();

private:
    std::string name_;
    std::unique_ptr<Object> object_;
    bool modified_ = false;
    int notices_ = 0;
};

// Nodes for every object of `scene`, in order; each object's mesh moves into its node.
std::vector<std::unique_ptr<SceneNode>> MakeSceneNodes(ImportedScene& scene);
