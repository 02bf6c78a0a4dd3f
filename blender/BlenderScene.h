// The scene a bake offers the plug-in: the selection as Blender has it, and the one selected
// object as a node. A mesh object is an editable triangle mesh already (a run writes its colours
// into it); other geometry converts to a new triangle-mesh object that the run owns; an object
// without geometry cannot convert.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "blender/murkwell_blender.h"
#include "hostapp/SceneNode.h"

// The node of a Blender object: `kind` is an mw_object_kind; `mesh` is the object's geometry
// (ignored for MW_OBJECT_OTHER).
std::unique_ptr<SceneNode> MakeBlenderNode(std::string name, int kind, Mesh mesh);

// The selection: `count` selected objects, of which `node` (when count is 1) is the one.
struct BlenderSelection {
    int count = 0;
    std::unique_ptr<SceneNode> node;

    std::vector<INode*> Nodes() const;
};
