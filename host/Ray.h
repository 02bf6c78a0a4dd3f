// A ray: origin p and direction dir, both in the mesh's own coordinates.
#pragma once
#include "host/Point3.h"

class Ray {
public:
    Point3 p;
    Point3 dir;
};
