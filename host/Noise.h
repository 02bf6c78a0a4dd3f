// The host's scalar 3-D gradient noise: a smooth field centred on 0 with values within [-1, 1].
// Pure and thread-safe.
#pragma once
#include "host/Point3.h"

float noise3(const Point3& p);
