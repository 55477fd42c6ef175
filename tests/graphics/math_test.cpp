// Matrix and vector math in the device's convention, and rectangle clipping.
#include <gtest/gtest.h>

#include <cmath>

#include "zyvel/graphics.h"

namespace {

Matrix4 Sample() { return Matrix4{{{2, 0, 1, 0}, {1, 3, 0, 0}, {0, 1, 4, 0}, {5, -2, 7, 1}}}; }

void ExpectNear(const Matrix4& expected, const Matrix4& actual, float tolerance) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(expected.m[i][j], actual.m[i][j], tolerance) << i << "," << j;
}

}  // namespace

TEST(ClipRectToRect, CollapsesThenClampsEachEdge) {
  struct Case {
    RECT rect;
    RECT clip;
    RECT expected;
  };
  const Case cases[] = {
      {{30, 20, 10, 5}, {0, 0, 100, 100}, {30, 20, 30, 20}},  // Reversed corners collapse first.
      {{-10, -10, 50, 50}, {0, 0, 40, 30}, {0, 0, 40, 30}},
      {{200, 10, 300, 20}, {0, 0, 100, 100}, {100, 10, 100, 20}},  // Outside: zero width on the edge.
      {{5, -50, 6, -40}, {0, 0, 100, 100}, {5, 0, 6, 0}},
      {{10, 10, 20, 20}, {12, 12, 18, 18}, {12, 12, 18, 18}},
  };
  for (const Case& c : cases) {
    RECT rect = c.rect;
    EXPECT_EQ(0, ClipRectToRect(&rect, &c.clip));
    EXPECT_EQ(c.expected.left, rect.left);
    EXPECT_EQ(c.expected.top, rect.top);
    EXPECT_EQ(c.expected.right, rect.right);
    EXPECT_EQ(c.expected.bottom, rect.bottom);
  }
}

TEST(MatrixMath, PerspectiveFromFieldOfView) {
  Matrix4 m;
  ASSERT_EQ(0, MakePerspectiveFovMatrix(&m, 1.0471976f, 10.0f, 10000.0f, 0.75f));
  EXPECT_NEAR(1.7320508f, m.m[1][1], 1e-5f);
  EXPECT_NEAR(1.2990381f, m.m[0][0], 1e-5f);
  EXPECT_NEAR(1.001001f, m.m[2][2], 1e-5f);
  EXPECT_NEAR(-10.01001f, m.m[3][2], 1e-4f);
  EXPECT_EQ(1.0f, m.m[2][3]);
  EXPECT_EQ(0.0f, m.m[3][3]);

  Matrix4 untouched = Sample();
  EXPECT_EQ(-1, MakePerspectiveFovMatrix(&untouched, 1.0f, 10.0f, 10.0f, 0.75f));
  EXPECT_EQ(-1, MakePerspectiveFovMatrix(&untouched, 0.0f, 1.0f, 10.0f, 0.75f));
  ExpectNear(Sample(), untouched, 0.0f);

  // A negative aspect takes the graph mode's height / width.
  int width = 0;
  int height = 0;
  GetScreenSizeSetting(&width, &height);
  ASSERT_EQ(0, MakePerspectiveFovMatrix(&m, 1.0471976f, 10.0f, 10000.0f, -1.0f));
  EXPECT_NEAR(1.7320508f * height / width, m.m[0][0], 1e-5f);
}

TEST(MatrixMath, InverseTimesMatrixIsIdentity) {
  const Matrix4 a = Sample();
  Matrix4 inverse;
  ASSERT_EQ(0, InvertMatrix(&inverse, &a));
  Matrix4 product;
  MultiplyMatrix(&product, &a, &inverse);
  Matrix4 identity;
  MakeIdentityMatrix(&identity);
  ExpectNear(identity, product, 1e-5f);

  Matrix4 singular = Sample();
  for (float& value : singular.m[2]) value = 0.0f;
  Matrix4 out = a;
  EXPECT_EQ(-1, InvertMatrix(&out, &singular));
  ExpectNear(a, out, 0.0f);
}

TEST(MatrixMath, MultiplyTransposeAndTransformInPlace) {
  const Matrix4 a = Sample();
  Matrix4 separate;
  MultiplyMatrix(&separate, &a, &a);
  Matrix4 inPlace = a;
  MultiplyMatrix(&inPlace, &inPlace, &inPlace);
  ExpectNear(separate, inPlace, 0.0f);
  EXPECT_FLOAT_EQ(2 * 2 + 0 * 1 + 1 * 0 + 0 * 5, separate.m[0][0]);

  Matrix4 transposed = a;
  TransposeMatrix(&transposed, &transposed);
  EXPECT_EQ(a.m[0][2], transposed.m[2][0]);
  EXPECT_EQ(a.m[3][1], transposed.m[1][3]);

  // Row vector times matrix: the translation sits in the fourth row.
  Vector3 v{1, 2, 3};
  TransformVector(&v, &v, &a);
  EXPECT_FLOAT_EQ(1 * 2 + 2 * 1 + 3 * 0 + 5, v.x);
  EXPECT_FLOAT_EQ(1 * 0 + 2 * 3 + 3 * 1 - 2, v.y);
  EXPECT_FLOAT_EQ(1 * 1 + 2 * 0 + 3 * 4 + 7, v.z);
}

TEST(MatrixMath, ViewportAndLookAtPlacePointsOnTheScreen) {
  Matrix4 viewport;
  MakeViewportMatrix(&viewport, 320.0f, 240.0f, 640.0f, 480.0f);
  Vector3 corner{-1.0f, 1.0f, 0.5f};
  TransformVector(&corner, &corner, &viewport);
  EXPECT_FLOAT_EQ(0.0f, corner.x);
  EXPECT_FLOAT_EQ(0.0f, corner.y);  // y grows downward on the screen.
  EXPECT_FLOAT_EQ(0.5f, corner.z);

  // The default camera of a 640 x 480 target: the point (100, 50, 0) lands on pixel (100, 430).
  const float distance = 240 / 0.57735026f;
  const Vector3 eye{320, 240, -distance};
  const Vector3 at{320, 240, -distance + 1};
  const Vector3 up{0, 1, 0};
  Matrix4 view;
  Matrix4 projection;
  ASSERT_EQ(0, MakeLookAtMatrix(&view, &eye, &at, &up));
  ASSERT_EQ(0, MakePerspectiveFovMatrix(&projection, 1.0471976f, distance * 0.1f, distance + 20000, 0.75f));
  Matrix4 combined;
  MultiplyMatrix(&combined, &view, &projection);
  const float point[4] = {100, 50, 0, 1};
  float clip[4] = {};
  for (int j = 0; j < 4; ++j)
    for (int k = 0; k < 4; ++k) clip[j] += point[k] * combined.m[k][j];
  Vector3 projected{clip[0] / clip[3], clip[1] / clip[3], 0};
  TransformVector(&projected, &projected, &viewport);
  EXPECT_NEAR(100.0f, projected.x, 1e-2f);
  EXPECT_NEAR(430.0f, projected.y, 1e-2f);
}

TEST(VectorMath, NormalizeAndDot) {
  Vector3 v{3, 0, 4};
  NormalizeVector(&v, &v);
  EXPECT_FLOAT_EQ(0.6f, v.x);
  EXPECT_FLOAT_EQ(0.8f, v.z);
  EXPECT_FLOAT_EQ(1.0f, DotVector(&v, &v));
  Vector3 made;
  EXPECT_EQ(&made, MakeNormalizedVector(&made, 1, -1, 1));
  EXPECT_NEAR(1.0f / std::sqrt(3.0f), made.x, 1e-6f);
  // A zero vector stays zero instead of becoming not-a-number.
  MakeNormalizedVector(&made, 0, 0, 0);
  EXPECT_EQ(0.0f, made.x);
  EXPECT_EQ(0.0f, made.y);
  EXPECT_EQ(0.0f, made.z);
}
