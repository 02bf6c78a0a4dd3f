#include "plugin/GritUtility.h"

GritUtility::GritUtility() = default;

GritUtility::~GritUtility() {
    vertexNormals.Clear();
    faceNormals.ZeroCount();
}

GritUtility& TheGritUtility() {
    static GritUtility utility;
    return utility;
}
