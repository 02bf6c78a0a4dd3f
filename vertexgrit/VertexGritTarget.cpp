#include "vertexgrit/VertexGritTarget.h"

#include "host/MessageBox.h"

namespace {
void InfoBox(const char* text) { MessageBoxA(nullptr, text, "Murkwell", MB_OK | MB_ICONINFORMATION); }
}  // namespace

VertexGritTarget FindVertexGritTarget(Interface& ip) {
    if (ip.GetSelNodeCount() != 1) {
        InfoBox("Select exactly one node");
        return {};
    }
    INode* node = ip.GetSelNode(0);
    Object* object = node ? node->GetObjectRef() : nullptr;
    // The wrapper that carries modifiers: look at the object it wraps.
    if (object && object->SuperClassID() == GEN_DERIVOB_CLASS_ID) object = object->GetObjRef();

    if (!object || !object->CanConvertToType(triObjectClassID)) {
        InfoBox("Could not get TriObject");
        return {};
    }
    Object* converted = object->ConvertToType(ip.GetTime(), triObjectClassID);
    if (!converted) {
        // It claimed it could convert, yet produced nothing: there is no triangle mesh.
        InfoBox("Could not get TriObject");
        return {};
    }
    if (converted != object) {
        // The conversion built a new object, so the node's own object is not a triangle mesh;
        // colours written into the copy would be lost.
        InfoBox("Object must be unmodified Editable Mesh");
        converted->DeleteThis();
        return {};
    }
    auto* tri = dynamic_cast<TriObject*>(object);
    if (!tri) {
        InfoBox("Could not get TriObject");
        return {};
    }
    return {node, tri};
}
