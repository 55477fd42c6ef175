// Matrix and vector helpers shared inside the graphics layer beyond the public ones.
#pragma once

#include "zyvel/graphics.h"

// The identity that `MakeIdentityMatrix` copies.
extern const Matrix4 kIdentityMatrix;

// Left-handed cross product: (a x b).x = a.y b.z - a.z b.y, and so on.
Vector3 CrossVector(const Vector3& a, const Vector3& b);
