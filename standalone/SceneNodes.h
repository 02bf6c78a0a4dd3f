// The standalone host's scene: one node per imported object. A node with faces holds an editable
// triangle mesh; a node without faces holds a geometric object that cannot become a triangle mesh.
#pragma once
#include <memory>
#include <vector>

#include "hostapp/SceneNode.h"
#include "standalone/ImportedScene.h"

// Nodes for every object of `scene`, in order; each object's mesh moves into its node.
std::vector<std::unique_ptr<SceneNode>> MakeSceneNodes(ImportedScene& scene);
