// Model buffers on a device that processes vertices in hardware: grouping, the record limits,
// building once, release and rebuild around a device loss, and the texture preparation.
#include "graphics/models/model_buffers.h"

#include <cmath>
#include <cstring>

#include "graphics/graphs/screens.h"
#include "graphics/graphs/texture_upload.h"
#include "image_test_support.h"
#include "render_device_support.h"

namespace {

using device_test::RenderDeviceTest;

// Mesh data a test keeps alive while it makes a base.
struct MeshData {
  std::vector<float> positions, normals, texCoords;
  std::vector<uint32_t> diffuse;
  std::vector<uint8_t> blendIndices;
  std::vector<float> blendWeights;
  std::vector<uint16_t> indices;
  ModelMeshSource source{};
};

MeshData MakeMesh(int vertices, int indices, int skin = 0, int texCoordSets = 0, int seed = 1) {
  MeshData mesh;
  for (int i = 0; i < vertices * 3; ++i) mesh.positions.push_back(static_cast<float>(i * seed) * 0.25f);
  for (int i = 0; i < vertices * 3; ++i) mesh.normals.push_back(i % 3 == 2 ? 1.0f : 0.0f);
  for (int i = 0; i < vertices; ++i)
    mesh.diffuse.push_back(0xFF000000u | (static_cast<uint32_t>(i) * 0x010203u + static_cast<uint32_t>(seed)));
  for (int i = 0; i < vertices * 2; ++i) mesh.texCoords.push_back(static_cast<float>(i) / 8.0f);
  for (int i = 0; i < vertices * 4 * skin; ++i) mesh.blendIndices.push_back(static_cast<uint8_t>(i));
  for (int i = 0; i < vertices * 4 * skin; ++i) mesh.blendWeights.push_back(0.25f);
  for (int i = 0; i < indices; ++i) mesh.indices.push_back(static_cast<uint16_t>(i % vertices));
  ModelMeshSource& source = mesh.source;
  source.SkinKind = skin;
  source.TexCoordCount = texCoordSets;
  source.VertexCount = vertices;
  source.IndexCount = indices;
  source.Positions = mesh.positions.data();
  source.Normals = mesh.normals.data();
  source.Diffuse = mesh.diffuse.data();
  source.BlendIndices = skin ? mesh.blendIndices.data() : nullptr;
  source.BlendWeights = skin ? mesh.blendWeights.data() : nullptr;
  for (int set = 0; set < texCoordSets; ++set) {
    source.TexCoordComponents[set] = 2;
    source.TexCoords[set] = mesh.texCoords.data();
  }
  source.Indices = indices ? mesh.indices.data() : nullptr;
  return mesh;
}

class ModelBuffersTest : public RenderDeviceTest {
 protected:
  void SetUp() override {
    RenderDeviceTest::SetUp();
    platform::testing::Direct3DSwitches switches;
    switches.reportShaderModel2 = true;
    platform::testing::SetDirect3DSwitches(switches);
    ASSERT_EQ(StartDevice(), 0);
    g_screenSettings.HardwareInUse = 1;
    ASSERT_EQ(InitModelSystem(), 0);
    ASSERT_EQ(g_modelSystem.Initialised, 1);
  }
  void TearDown() override {
    EXPECT_EQ(TerminateModelSystem(), 0);
    EXPECT_EQ(g_modelSystem.Initialised, 0);
    g_deviceStateCache.LibraryShadersInUse = 0;
    RenderDeviceTest::TearDown();
  }

  int AddBase(std::vector<MeshData*> meshes) {
    std::vector<ModelMeshSource> sources;
    for (MeshData* mesh : meshes) sources.push_back(mesh->source);
    return AddModelBase(sources.data(), static_cast<int>(sources.size()), nullptr, 0);
  }

  // Every record's vertex and index bytes, group by group.
  static std::vector<std::vector<uint8_t>> BufferBytes(const ModelBase* base) {
    std::vector<std::vector<uint8_t>> all;
    for (ModelBufferGroup* const& head : base->Groups)
      for (const ModelBufferGroup* record = head; record; record = record->Next) {
        void* data = nullptr;
        EXPECT_EQ(record->VertexBuffer->Lock(0, 0, &data, 0), D3D_OK);
        const auto* bytes = static_cast<const uint8_t*>(data);
        all.emplace_back(bytes, bytes + static_cast<size_t>(record->VertexCount) * record->VertexStride);
        record->VertexBuffer->Unlock();
        if (!record->IndexBuffer) continue;
        EXPECT_EQ(record->IndexBuffer->Lock(0, 0, &data, 0), D3D_OK);
        bytes = static_cast<const uint8_t*>(data);
        all.emplace_back(bytes, bytes + static_cast<size_t>(record->IndexCount) * 2);
        record->IndexBuffer->Unlock();
      }
    return all;
  }

  static int RecordCount(const ModelBase* base) {
    int count = 0;
    for (int group = 0; group < kModelBufferGroupCount; ++group) count += base->GroupRecordCounts[group];
    return count;
  }
};

TEST(ModelLayoutTest, StridesAndFormatsFollowTheDeclarationTable) {
  const struct {
    int skin, tangents, sets, stride;
    DWORD fvf;
  } cases[] = {
      {0, 0, 0, 32, 0xD2},    {0, 0, 2, 64, 0xD2 | D3DFVF_TEX2 | D3DFVF_TEXCOORDSIZE4(0) | D3DFVF_TEXCOORDSIZE4(1)},
      {0, 1, 0, 56, 0},       {1, 0, 1, 68, 0},
      {1, 1, 0, 76, 0},       {2, 0, 0, 72, 0},
      {2, 1, 8, 96 + 128, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ModelVertexStride(c.skin, c.tangents, c.sets), c.stride) << c.skin << c.tangents << c.sets;
    EXPECT_EQ(ModelVertexFvf(c.skin, c.tangents, c.sets), c.fvf) << c.skin << c.tangents << c.sets;
  }
  EXPECT_EQ(ModelBufferGroupIndex(2, 1, 8), kModelBufferGroupCount - 1);
}

TEST_F(ModelBuffersTest, BuildingTwiceBuildsOnceAndWritesTheGroupLayout) {
  MeshData first = MakeMesh(3, 3, 0, 1, 1), second = MakeMesh(4, 6, 0, 1, 2);
  const int base = AddBase({&first, &second});
  ASSERT_GE(base, 0);
  platform::testing::RecordDeviceCalls(true);
  platform::testing::TakeRecordedDeviceCalls();
  ASSERT_EQ(BuildModelBaseBuffers(base), 0);
  ASSERT_EQ(BuildModelBaseBuffers(base), 0);
  const std::vector<std::string> calls = platform::testing::TakeRecordedDeviceCalls();
  platform::testing::RecordDeviceCalls(false);
  EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                          [](const std::string& call) { return call.rfind("CreateVertexBuffer", 0) == 0; }),
            1);

  const ModelBase* record = GetModelBase(base);
  ASSERT_EQ(record->Built, 1);
  const int group = ModelBufferGroupIndex(0, 0, 1);
  ASSERT_EQ(record->GroupRecordCounts[group], 1);
  const ModelBufferGroup* buffers = record->Groups[group];
  EXPECT_EQ(buffers->VertexCount, 7);
  EXPECT_EQ(buffers->IndexCount, 9);
  EXPECT_EQ(buffers->VertexStride, 48);
  EXPECT_EQ(record->Meshes[1].FirstVertex, 3);
  EXPECT_EQ(record->Meshes[1].FirstIndex, 3);
  D3DVERTEXBUFFER_DESC description;
  buffers->VertexBuffer->GetDesc(&description);
  EXPECT_EQ(description.FVF, ModelVertexFvf(0, 0, 1));
  EXPECT_EQ(description.Size, 7u * 48u);

  // Vertex 1 of the second mesh: position, normal, diffuse, specular, then (u, v, 0, 1).
  const std::vector<std::vector<uint8_t>> bytes = BufferBytes(record);
  const uint8_t* vertex = bytes[0].data() + 4 * 48;
  float position[3], coordinates[4];
  uint32_t colors[2];
  std::memcpy(position, vertex, 12);
  std::memcpy(colors, vertex + 24, 8);
  std::memcpy(coordinates, vertex + 32, 16);
  EXPECT_EQ(position[0], second.positions[3]);
  EXPECT_EQ(colors[0], second.diffuse[1]);
  EXPECT_EQ(colors[1], 0u);
  EXPECT_EQ(coordinates[0], second.texCoords[2]);
  EXPECT_EQ(coordinates[1], second.texCoords[3]);
  EXPECT_EQ(coordinates[2], 0.0f);
  EXPECT_EQ(coordinates[3], 1.0f);
  uint16_t index;
  std::memcpy(&index, bytes[1].data() + 2 * 4, 2);
  EXPECT_EQ(index, second.indices[1]) << "indices stay relative to their mesh";
}

TEST_F(ModelBuffersTest, SkinnedMeshesGetBuffersOnlyWithTheLibrarysShaders) {
  MeshData plain = MakeMesh(3, 3), skinned = MakeMesh(3, 3, 2, 0, 3);
  const int base = AddBase({&plain, &skinned});
  ASSERT_EQ(BuildModelBaseBuffers(base), 0);
  EXPECT_EQ(RecordCount(GetModelBase(base)), 1);
  EXPECT_EQ(GetModelBase(base)->Meshes[1].Group, nullptr);
  ASSERT_EQ(ReleaseModelBaseBuffers(base), 0);
  EXPECT_EQ(RecordCount(GetModelBase(base)), 0);

  g_deviceStateCache.LibraryShadersInUse = 1;
  ASSERT_EQ(BuildModelBaseBuffers(base), 0);
  const ModelBase* record = GetModelBase(base);
  EXPECT_EQ(RecordCount(record), 2);
  const ModelBufferGroup* group = record->Groups[ModelBufferGroupIndex(2, 0, 0)];
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group->Fvf, 0u);
  EXPECT_EQ(group->VertexStride, 72);
  // Blend indices of vertex 2 at 12 and 16, its weights from 20.
  const std::vector<std::vector<uint8_t>> bytes = BufferBytes(record);
  const uint8_t* vertex = bytes[2].data() + 2 * 72;
  EXPECT_EQ(std::memcmp(vertex + 12, &skinned.blendIndices[16], 8), 0);
  float weight;
  std::memcpy(&weight, vertex + 20, 4);
  EXPECT_EQ(weight, 0.25f);
}

TEST_F(ModelBuffersTest, ARecordPastTheVertexLimitChainsANewOne) {
  MeshData first = MakeMesh(0x30000, 3), second = MakeMesh(0x30000, 3, 0, 0, 2), third = MakeMesh(5, 3);
  const int base = AddBase({&first, &second, &third});
  ASSERT_EQ(BuildModelBaseBuffers(base), 0);
  const ModelBase* record = GetModelBase(base);
  const int group = ModelBufferGroupIndex(0, 0, 0);
  ASSERT_EQ(record->GroupRecordCounts[group], 2);
  const ModelBufferGroup* head = record->Groups[group];
  EXPECT_EQ(head->VertexCount, 0x30000);
  ASSERT_NE(head->Next, nullptr);
  EXPECT_EQ(head->Next->Previous, head);
  EXPECT_EQ(head->Next->VertexCount, 0x30000 + 5) << "later meshes join the newest record";
  EXPECT_EQ(record->Meshes[1].Group, head->Next);
  EXPECT_EQ(record->Meshes[1].FirstVertex, 0);
  EXPECT_EQ(record->Meshes[2].Group, head->Next);
  EXPECT_EQ(record->Meshes[2].FirstVertex, 0x30000);
}

TEST_F(ModelBuffersTest, DeviceLossReleasesAndRebuildsTheBuffersByteForByte) {
  MeshData first = MakeMesh(40, 60, 0, 2, 1), second = MakeMesh(12, 30, 0, 0, 5);
  second.source.DynamicVertices = 1;
  const int base = AddBase({&first, &second});
  const int instance = AddModelInstance(base);
  ASSERT_GE(instance, 0);
  ASSERT_EQ(BuildModelBaseBuffers(base), 0);
  const std::vector<std::vector<uint8_t>> before = BufferBytes(GetModelBase(base));
  ASSERT_EQ(before.size(), 4u);
  ASSERT_NE(GetModelInstance(instance)->MeshBuffers[1], nullptr);
  EXPECT_EQ(GetModelInstance(instance)->MeshBuffers[0], nullptr) << "only meshes whose vertices it computes";

  platform::testing::LoseDevices();
  platform::testing::RegainLostDevices();
  ASSERT_EQ(RestartGraphicsDevice(0, -1, -1, -1, -1), 0);
  const ModelBase* record = GetModelBase(base);
  ASSERT_EQ(record->Built, 1);
  EXPECT_EQ(BufferBytes(record), before);
  EXPECT_NE(GetModelInstance(instance)->MeshBuffers[1], nullptr);

  ReleaseAllModelBuffers();
  EXPECT_EQ(GetModelBase(base)->Built, 0);
  EXPECT_EQ(GetModelInstance(instance)->MeshBuffers[1], nullptr);
  EXPECT_EQ(DeleteModelBase(base), 0) << "the instance still holds the base";
  EXPECT_NE(GetModelBase(base), nullptr);
  EXPECT_EQ(DeleteModelInstance(instance), 0);
  EXPECT_EQ(GetModelBase(base), nullptr);
  EXPECT_EQ(g_modelSystem.BaseCount, 0);
}

// A quad in clip space with a colour per corner, after `skip` other vertices of the same group.
struct QuadModel {
  MeshData padding, quad;
  QuadModel(int skin, int tangents, int sets) {
    padding = MakeMesh(5, 3, skin, sets);
    padding.source.Tangents = tangents;
    quad = MakeMesh(4, 6, skin, sets);
    quad.source.Tangents = tangents;
    quad.positions = {-0.5f, -0.5f, 0.5f, 0.5f, -0.5f, 0.5f, -0.5f, 0.75f, 0.5f, 0.5f, 0.75f, 0.5f};
    quad.diffuse = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
    quad.indices = {0, 1, 2, 2, 1, 3};
    quad.source.Positions = quad.positions.data();
    quad.source.Diffuse = quad.diffuse.data();
    quad.source.Indices = quad.indices.data();
  }
};

std::vector<uint32_t> ReadBackBuffer();

// The back buffer after drawing mesh 1 of `base` from its group's buffers, read through the
// group's FVF or through `declaration`.
std::vector<uint32_t> DrawModelMesh(const ModelBase* base, IDirect3DVertexDeclaration9* declaration) {
  IDirect3DDevice9* device = g_renderDevice.Device;
  const ModelMesh& mesh = base->Meshes[1];
  const ModelBufferGroup* group = mesh.Group;
  EXPECT_NE(group, nullptr);
  EXPECT_GT(mesh.FirstVertex, 0);
  if (!group) return {};
  EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0), D3D_OK);
  EXPECT_EQ(device->BeginScene(), D3D_OK);
  if (declaration)
    device->SetVertexDeclaration(declaration);
  else
    device->SetFVF(group->Fvf);
  device->SetStreamSource(0, group->VertexBuffer, 0, static_cast<UINT>(group->VertexStride));
  device->SetIndices(group->IndexBuffer);
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, mesh.FirstVertex, 0, 4, mesh.FirstIndex, 2), D3D_OK);
  EXPECT_EQ(device->EndScene(), D3D_OK);
  device->SetStreamSource(0, nullptr, 0, 0);
  device->SetIndices(nullptr);
  return ReadBackBuffer();
}

std::vector<uint32_t> ReadBackBuffer() {
  D3DSURFACE_DESC description;
  g_renderDevice.BackBuffer->GetDesc(&description);
  D3DLOCKED_RECT locked;
  EXPECT_EQ(g_renderDevice.BackBuffer->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
  std::vector<uint32_t> pixels;
  for (UINT y = 0; y < description.Height; ++y)
    for (UINT x = 0; x < description.Width; ++x)
      pixels.push_back(
          reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch)[x]);
  g_renderDevice.BackBuffer->UnlockRect();
  return pixels;
}

TEST_F(ModelBuffersTest, GroupsDrawThroughTheirFormatAndThroughTheModelDeclarations) {
  IDirect3DDevice9* device = g_renderDevice.Device;
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  device->SetRenderState(D3DRS_LIGHTING, FALSE);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
  device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);

  // The reference: the same quad from user memory.
  struct ColoredVertex {
    float x, y, z;
    uint32_t diffuse;
  };
  QuadModel plain(0, 0, 2);
  ColoredVertex vertices[4];
  for (int i = 0; i < 4; ++i)
    vertices[i] = {plain.quad.positions[3 * i], plain.quad.positions[3 * i + 1], plain.quad.positions[3 * i + 2],
                   plain.quad.diffuse[i]};
  device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
  device->BeginScene();
  device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  ASSERT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 2, plain.quad.indices.data(), D3DFMT_INDEX16,
                                           vertices, sizeof(ColoredVertex)),
            D3D_OK);
  device->EndScene();
  const std::vector<uint32_t> reference = ReadBackBuffer();

  const int plainBase = AddBase({&plain.padding, &plain.quad});
  ASSERT_EQ(BuildModelBaseBuffers(plainBase), 0);
  const std::vector<uint32_t> expected = DrawModelMesh(GetModelBase(plainBase), nullptr);
  ASSERT_EQ(expected.size(), 640u * 480u);
  EXPECT_EQ(expected, reference);
  EXPECT_NE(expected[200 * 640 + 320], 0xFF000000u) << "the quad was drawn";
  EXPECT_EQ(expected[10 * 640 + 10], 0xFF000000u);

  // A skinned group with tangents and three coordinate sets, read through its declaration.
  g_deviceStateCache.LibraryShadersInUse = 1;
  ASSERT_EQ(CreateVertexDeclarations(), 0);
  QuadModel skinned(2, 1, 3);
  const int skinnedBase = AddBase({&skinned.padding, &skinned.quad});
  ASSERT_EQ(BuildModelBaseBuffers(skinnedBase), 0);
  EXPECT_EQ(DrawModelMesh(GetModelBase(skinnedBase), g_deviceStateCache.VertexDeclarations[1][2][3]), expected);
}

TEST_F(ModelBuffersTest, BadMeshesAndHandlesAreRefused) {
  MeshData mesh = MakeMesh(3, 3);
  mesh.indices[2] = 3;  // Past the mesh's vertices.
  EXPECT_EQ(AddBase({&mesh}), -1);
  mesh = MakeMesh(3, 3);
  mesh.source.SkinKind = 3;
  EXPECT_EQ(AddBase({&mesh}), -1);
  EXPECT_EQ(BuildModelBaseBuffers(-1), -1);
  EXPECT_EQ(BuildModelBaseBuffers(kModelBaseTableSize), -1);
  EXPECT_EQ(ReleaseInstanceBuffers(0), -1);
  EXPECT_EQ(CreateInstanceDynamicBuffers(-1), -1);
  EXPECT_EQ(DeleteModelInstance(MakeHandleWord(0, 0, HANDLE_KIND_MODEL)), -1);
}

// ---- Textures ----

// A 24-bit BMP file in memory, rows bottom-up, from 0x00RRGGBB pixels.
std::vector<uint8_t> MakeBmp(int width, int height, const std::vector<uint32_t>& pixels) {
  return image_test::MakeBmp24(width, height, [&](int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; });
}

TEST_F(ModelBuffersTest, NormalMapStrengthZeroIsTakenAsTheMinimum) {
  // A height step of 255 to the right of x = 0 (heights in red).
  const std::vector<uint8_t> heights = MakeBmp(2, 2, {0x000000, 0xFF0000, 0x000000, 0xFF0000});
  auto normals = [&](float strength) {
    ModelTexture texture{-1, heights.data(), static_cast<int>(heights.size()), nullptr, 0, 1, strength, 0};
    BaseImage color, alpha;
    EXPECT_EQ(PrepareModelTextureImages(&texture, &color, &alpha), 0);
    std::vector<uint32_t> pixels;
    for (int y = 0; y < color.height; ++y)
      for (int x = 0; x < color.width; ++x) pixels.push_back(GetBaseImagePixelArgb(&color, x, y) & 0xFFFFFF);
    ReleaseBaseImage(&color);
    EXPECT_EQ(alpha.pixels, nullptr);
    return pixels;
  };
  const std::vector<uint32_t> zero = normals(0.0f);
  EXPECT_EQ(zero, normals(kModelMinimumNormalStrength));
  // At x = 0: n = normalize(-s, 0, s^2), almost (-1, 0, 0): red 0, green and blue about 127.5.
  // At x = 1 the step wraps back down: almost (1, 0, 0), red 255.
  auto code = [](float x, float y, float z) {
    return static_cast<uint32_t>(FloatToInt((x + 1) * 127.5f) << 16 | FloatToInt((y + 1) * 127.5f) << 8 |
                                 FloatToInt((z + 1) * 127.5f));
  };
  EXPECT_EQ(zero[0], code(-1.0f, 0.0f, kModelMinimumNormalStrength)) << std::hex << zero[0];
  EXPECT_EQ(zero[1], code(1.0f, 0.0f, kModelMinimumNormalStrength)) << std::hex << zero[1];
  // A strength of 1 tilts the step by 45 degrees: (-0.7071, 0, 0.7071).
  EXPECT_EQ(normals(1.0f)[0], code(-0.70710677f, 0.0f, 0.70710677f));
}

TEST_F(ModelBuffersTest, TextureImagesAreRaisedToPowersOfTwoAndTurned) {
  const std::vector<uint8_t> color = MakeBmp(3, 5, std::vector<uint32_t>(15, 0x336699));
  const std::vector<uint8_t> alpha = MakeBmp(3, 5, std::vector<uint32_t>(15, 0x808080));
  ModelTexture texture{
      -1, color.data(), static_cast<int>(color.size()), alpha.data(), static_cast<int>(alpha.size()), 0, 0.0f, 1};
  BaseImage colorOut, alphaOut;
  ASSERT_EQ(PrepareModelTextureImages(&texture, &colorOut, &alphaOut), 0);
  EXPECT_EQ(colorOut.width, 4);
  EXPECT_EQ(colorOut.height, 8);
  EXPECT_EQ(alphaOut.width, 4);
  EXPECT_EQ(alphaOut.height, 8);
  // The bilinear stretch may lose one step of a flat colour.
  auto near = [](uint32_t pixel, uint32_t expected) {
    for (int shift = 0; shift < 24; shift += 8)
      if (std::abs(static_cast<int>((pixel >> shift) & 0xFF) - static_cast<int>((expected >> shift) & 0xFF)) > 1)
        return false;
    return true;
  };
  EXPECT_TRUE(near(GetBaseImagePixelArgb(&colorOut, 2, 3), 0x336699u));
  ReleaseBaseImage(&colorOut);
  ReleaseBaseImage(&alphaOut);

  // Only an alpha image: the colour is all white at its size.
  texture.ColorImage = nullptr;
  ASSERT_EQ(PrepareModelTextureImages(&texture, &colorOut, &alphaOut), 0);
  EXPECT_TRUE(near(GetBaseImagePixelArgb(&colorOut, 0, 0), 0xFFFFFFu));
  ReleaseBaseImage(&colorOut);
  ReleaseBaseImage(&alphaOut);

  const std::vector<uint8_t> cut(color.begin(), color.begin() + 40);
  texture = ModelTexture{-1, cut.data(), static_cast<int>(cut.size()), nullptr, 0, 0, 0.0f, 0};
  EXPECT_EQ(PrepareModelTextureImages(&texture, &colorOut, &alphaOut), -1);
  EXPECT_EQ(colorOut.pixels, nullptr);
}

TEST_F(ModelBuffersTest, RampAndSineTable) {
  BaseImage ramp;
  ASSERT_EQ(MakeModelRampImage(&ramp), 0);
  EXPECT_EQ(ramp.width, 256);
  EXPECT_EQ(ramp.height, 8);
  EXPECT_EQ(GetBaseImagePixelArgb(&ramp, 0, 7) & 0xFFFFFF, 0u);
  EXPECT_EQ(GetBaseImagePixelArgb(&ramp, 200, 3) & 0xFFFFFF, 0xC8C8C8u);
  ReleaseBaseImage(&ramp);
  EXPECT_EQ(g_modelSystem.SineTable[0], 0.0f);
  EXPECT_NEAR(g_modelSystem.SineTable[16384], 1.0f, 1e-6f);
  EXPECT_NEAR(g_modelSystem.SineTable[49152], -1.0f, 1e-6f);
  EXPECT_EQ(g_modelSystem.Constant, 1.5620697f);
  EXPECT_EQ(ReloadModelTextures(), 0);
}

TEST(ModelSystemTest, StartsOnlyWhenTheDeviceDrivesTheScreen) {
  g_screenSettings.HardwareInUse = 0;
  EXPECT_EQ(InitModelSystem(), 0);
  EXPECT_EQ(g_modelSystem.Initialised, 0);
  EXPECT_EQ(AddModelBase(nullptr, 0, nullptr, 0), -1);
  EXPECT_EQ(TerminateModelSystem(), 0);
}

}  // namespace
