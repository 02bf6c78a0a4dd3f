// Which object the Vertex Colors run colours: the one selected node's own object, unwrapped from
// the modifier wrapper, and only when it already is a triangle-mesh object, so that the colours
// written into its mesh stay in the scene.
#pragma once
#include "host/Interface.h"
#include "host/Scene.h"

struct VertexGritTarget {
    INode* node = nullptr;
    TriObject* object = nullptr;
};

// Checks the selection and the object. On any failure shows the reason in an information box
// titled "Murkwell" and returns an empty target; a converted copy the host had to make is
// deleted. Nothing in the scene changes.
VertexGritTarget FindVertexGritTarget(Interface& ip);
