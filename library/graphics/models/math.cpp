// Matrix and vector math in the device's convention.
//
// Matrices are row-major with row vectors (x' = x m11 + y m21 + z m31 + m41), the layout the
// device's transform calls take unchanged. Vectors of zero length normalise to zero rather than to
// not-a-number, so a degenerate light direction or camera leaves no NaN behind.
#include "graphics/models/math.h"

#include <cmath>

const Matrix4 kIdentityMatrix = {{
    {1.0f, 0.0f, 0.0f, 0.0f},
    {0.0f, 1.0f, 0.0f, 0.0f},
    {0.0f, 0.0f, 1.0f, 0.0f},
    {0.0f, 0.0f, 0.0f, 1.0f},
}};

int MakeIdentityMatrix(Matrix4* out) {
  *out = kIdentityMatrix;
  return 0;
}

int MultiplyMatrix(Matrix4* out, const Matrix4* a, const Matrix4* b) {
  Matrix4 product;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      product.m[i][j] = a->m[i][0] * b->m[0][j] + a->m[i][1] * b->m[1][j] + a->m[i][2] * b->m[2][j] +
                        a->m[i][3] * b->m[3][j];
  *out = product;
  return 0;
}

int MakePerspectiveFovMatrix(Matrix4* out, float fieldOfView, float nearPlane, float farPlane, float aspect) {
  if (aspect < 0.0f) {
    int width = 0;
    int height = 0;
    GetScreenSizeSetting(&width, &height);
    aspect = width > 0 ? static_cast<float>(height) / static_cast<float>(width) : 1.0f;
  }
  const float half = fieldOfView / 2.0f;
  const float sine = std::sin(half);
  const float cosine = std::cos(half);
  const float depth = farPlane - nearPlane;
  if (std::fabs(depth) < 0.0001f || std::fabs(sine) < 0.0001f) return -1;
  const float yScale = cosine / sine;
  const float xScale = yScale * aspect;
  const float q = farPlane / depth;
  Matrix4 result = {};
  result.m[0][0] = xScale;
  result.m[1][1] = yScale;
  result.m[2][2] = q;
  result.m[2][3] = 1.0f;
  result.m[3][2] = -q * nearPlane;
  *out = result;
  return 0;
}

int TransposeMatrix(Matrix4* out, const Matrix4* in) {
  Matrix4 result;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) result.m[i][j] = in->m[j][i];
  *out = result;
  return 0;
}

// Determinant of the 3 x 3 minor that leaves out row `row` and column `column`.
static float MinorDeterminant(const Matrix4& in, int row, int column) {
  float minor[3][3];
  for (int i = 0, r = 0; i < 4; ++i) {
    if (i == row) continue;
    for (int j = 0, c = 0; j < 4; ++j) {
      if (j == column) continue;
      minor[r][c++] = in.m[i][j];
    }
    ++r;
  }
  return minor[0][0] * (minor[1][1] * minor[2][2] - minor[1][2] * minor[2][1]) -
         minor[0][1] * (minor[1][0] * minor[2][2] - minor[1][2] * minor[2][0]) +
         minor[0][2] * (minor[1][0] * minor[2][1] - minor[1][1] * minor[2][0]);
}

int InvertMatrix(Matrix4* out, const Matrix4* in) {
  float cofactor[4][4];
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) cofactor[i][j] = ((i + j) % 2 ? -1.0f : 1.0f) * MinorDeterminant(*in, i, j);
  float determinant = 0.0f;
  for (int j = 0; j < 4; ++j) determinant += in->m[0][j] * cofactor[0][j];
  if (determinant > -1e-7f && determinant < 1e-7f) return -1;
  // The inverse is the transposed cofactor matrix (the adjugate) over the determinant.
  Matrix4 result;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) result.m[i][j] = cofactor[j][i] / determinant;
  *out = result;
  return 0;
}

int MakeViewportMatrix(Matrix4* out, float centerX, float centerY, float width, float height) {
  Matrix4 result = {};
  result.m[0][0] = width / 2.0f;
  result.m[1][1] = -height / 2.0f;
  result.m[2][2] = 1.0f;
  result.m[3][3] = 1.0f;
  result.m[3][0] = centerX;
  result.m[3][1] = centerY;
  result.m[3][2] = 0.0f;
  *out = result;
  return 0;
}

int NormalizeVector(Vector3* out, const Vector3* in) {
  const float length = std::sqrt(DotVector(in, in));
  if (length == 0.0f) {
    *out = Vector3{0.0f, 0.0f, 0.0f};
    return 0;
  }
  *out = Vector3{in->x / length, in->y / length, in->z / length};
  return 0;
}

float DotVector(const Vector3* a, const Vector3* b) { return a->x * b->x + a->y * b->y + a->z * b->z; }

int TransformVector(Vector3* out, const Vector3* in, const Matrix4* m) {
  const Vector3 v = *in;
  out->x = v.x * m->m[0][0] + v.y * m->m[1][0] + v.z * m->m[2][0] + m->m[3][0];
  out->y = v.x * m->m[0][1] + v.y * m->m[1][1] + v.z * m->m[2][1] + m->m[3][1];
  out->z = v.x * m->m[0][2] + v.y * m->m[1][2] + v.z * m->m[2][2] + m->m[3][2];
  return 0;
}

Vector3* MakeNormalizedVector(Vector3* out, float x, float y, float z) {
  const Vector3 v{x, y, z};
  NormalizeVector(out, &v);
  return out;
}

Vector3 CrossVector(const Vector3& a, const Vector3& b) {
  return Vector3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

int MakeLookAtMatrix(Matrix4* out, const Vector3* eye, const Vector3* at, const Vector3* up) {
  Vector3 zAxis{at->x - eye->x, at->y - eye->y, at->z - eye->z};
  NormalizeVector(&zAxis, &zAxis);
  Vector3 xAxis = CrossVector(*up, zAxis);
  NormalizeVector(&xAxis, &xAxis);
  Vector3 yAxis = CrossVector(zAxis, xAxis);
  NormalizeVector(&yAxis, &yAxis);
  Matrix4 result = {{
      {xAxis.x, yAxis.x, zAxis.x, 0.0f},
      {xAxis.y, yAxis.y, zAxis.y, 0.0f},
      {xAxis.z, yAxis.z, zAxis.z, 0.0f},
      {-DotVector(&xAxis, eye), -DotVector(&yAxis, eye), -DotVector(&zAxis, eye), 1.0f},
  }};
  *out = result;
  return 0;
}
