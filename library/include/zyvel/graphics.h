// Zyvel graphics: colour data, base images and loaders, graphs, screens, drawing, fonts, masks.
#pragma once

#include "zyvel/runtime.h"

// ---- Draw state and math ----
// 4 x 4 float matrices in the device's convention (left-handed, row vectors: a point is
// multiplied on the left, the translation sits in the fourth row), three-float vectors, and the
// integer rectangle clipping that nearly every drawing path uses. Rectangles exclude their right
// and bottom edges.
#include "platform/types.h"

struct Matrix4 {
  float m[4][4];  // Row by row: m[0][0] is m11, m[3][0] is m41.
};

struct Vector3 {
  float x;
  float y;
  float z;
};

int MakeIdentityMatrix(Matrix4* out);
// out = a x b; out may be a or b.
int MultiplyMatrix(Matrix4* out, const Matrix4* a, const Matrix4* b);
// Vertical field of view in radians; aspect is height / width (negative: the graph mode's).
// -1, leaving out untouched, when near and far or the field of view are too close to 0.
int MakePerspectiveFovMatrix(Matrix4* out, float fieldOfView, float nearPlane, float farPlane,
                             float aspect);
int TransposeMatrix(Matrix4* out, const Matrix4* in);
// -1, leaving out untouched, when the matrix is (nearly) singular.
int InvertMatrix(Matrix4* out, const Matrix4* in);
// Maps the projected range -1..1 onto the rectangle of the given centre and size, y downward.
int MakeViewportMatrix(Matrix4* out, float centerX, float centerY, float width, float height);
int NormalizeVector(Vector3* out, const Vector3* in);
float DotVector(const Vector3* a, const Vector3* b);
// The row vector (x, y, z, 1) times m, first three results, no division by w.
int TransformVector(Vector3* out, const Vector3* in, const Matrix4* m);
Vector3* MakeNormalizedVector(Vector3* out, float x, float y, float z);
int MakeLookAtMatrix(Matrix4* out, const Vector3* eye, const Vector3* at, const Vector3* up);
// Orders rect's corners (a reversed pair collapses onto the first), then clamps each edge into
// clip; a rectangle outside clip ends with zero width or height on clip's edge.
int ClipRectToRect(RECT* rect, const RECT* clip);

// The graph-mode settings read here (defined with the display modes).
int GetScreenSizeSetting(int* width, int* height);
int GetScreenColorBits();
