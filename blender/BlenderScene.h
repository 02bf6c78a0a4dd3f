// The scene a bake offers the plug-in: the selection as Blender has it, and the one selected
// object as a node. A mesh object is a triangle-mesh object already (its conversion yields
// itself, so a run writes its colours into it); other geometry converts to a new triangle-mesh
// object that the run owns; an object without geometry cannot convert. Change notices mark the
// node modified, which is how the host learns that a run rewrote the mesh.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "blender/murkwell_blender.h"
#include "host/Scene.h"

class BlenderNode : public INode {
public:
    // `kind` is an mw_object_kind; `mesh` is the object's geometry (ignored for MW_OBJECT_OTHER).
    BlenderNode(std::string name, int kind, Mesh mesh);
    ~BlenderNode() override;

    const char* GetName() override { return name_.c_str(); }
    ObjectState EvalWorldState(TimeValue, BOOL) override { return ObjectState{object_.get()}; }
    Object* GetObjectRef() override { return object_.get(); }
    int NotifyDependents(Interval, PartID, RefMessage message, SClass_ID, BOOL, void*) override;

    bool Modified() const { return modified_; }
    // The node's own triangle mesh (a mesh object's), or nullptr.
    Mesh* OwnMesh();

private:
    std::string name_;
    std::unique_ptr<Object> object_;
    bool modified_ = false;
};

// The selection: `count` selected objects, of which `node` (when count is 1) is the one.
struct BlenderSelection {
    int count = 0;
    std::unique_ptr<BlenderNode> node;

    std::vector<INode*> Nodes() const;
};
