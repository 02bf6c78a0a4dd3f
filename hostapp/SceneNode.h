// Scene nodes of a host program: one per object it hands the plug-in. An editable mesh object is
// a triangle-mesh object already (its conversion yields the object itself, so a run writes into
// it); an object that cannot become a triangle mesh converts to nothing. Change notices mark the
// node modified, which is how the host learns that a run rewrote the mesh.
#pragma once
#include <memory>
#include <string>
#include <utility>

#include "host/Scene.h"

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

// An object with nothing to convert: geometry without faces (class family kGeomObjectClassId),
// or no geometry at all (an empty, a camera, a light).
class UnconvertibleObject : public Object {
public:
    explicit UnconvertibleObject(SClass_ID family) : family_(family) {}
    SClass_ID SuperClassID() override { return family_; }
    int CanConvertToType(Class_ID) override { return 0; }
    Object* ConvertToType(TimeValue, Class_ID) override { return nullptr; }
    void DeleteThis() override {}  // owned by its node

private:
    SClass_ID family_;
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
    // The node's editable mesh, or nullptr when its object is none.
    Mesh* EditableMesh();

private:
    std::string name_;
    std::unique_ptr<Object> object_;
    bool modified_ = false;
    int notices_ = 0;
};
