#include "tests/vertexgrit/LiteralWriteBack.h"

#include <cmath>

#include "host/BitArray.h"

int LiteralWriteVertexColors(Mesh& mesh, VertexGritSum* table, bool accumulate, Interface& ip) {
    for (int i = 0; i < mesh.getNumVertCol(); ++i) {
        if (i % 100 == 0) ip.ProgressUpdate(90 + (i * 10) / mesh.getNumVertCol(), TRUE, nullptr);
        if (ip.GetCancel()) return i;

        VertexGritSum& r = table[i];
        if (r.count > 0) r.sum = r.sum / static_cast<float>(r.count);
        if (r.sum > 1.0f) r.sum = 1.0f;
        if (r.sum < 0.0f || std::isnan(r.sum)) r.sum = 0.0f;
        const float v = 1.0f - r.sum;
        r.sum = v;

        BitArray flags(mesh.getNumVertCol());
        for (int f = 0; f < mesh.getNumFaces(); ++f) {
            for (int k = 0; k < 3; ++k) {
                const int c = static_cast<int>(mesh.vcFace[static_cast<size_t>(f)].t[k]);
                if (static_cast<int>(mesh.faces[static_cast<size_t>(f)].v[k]) != i || flags[c]) continue;
                Point3& colour = mesh.vertCol[static_cast<size_t>(c)];
                if (accumulate) {
                    colour.x = colour.x * v;
                    colour.y = colour.y * v;
                    colour.z = colour.z * v;
                    flags.Set(c);
                } else {
                    colour = Point3(v, v, v);
                }
            }
        }
    }
    return mesh.getNumVertCol();
}
