// Vertex and index buffers on the software device: locks, draws from them, and shader objects
// that a device without shader model 2.0 refuses.
#include "device_fixture.h"

using namespace d3d9_test;

namespace {

template <typename Buffer>
void WriteBuffer(Buffer* buffer, const void* data, UINT size) {
  void* locked = nullptr;
  ASSERT_EQ(buffer->Lock(0, size, &locked, 0), D3D_OK);
  std::memcpy(locked, data, size);
  ASSERT_EQ(buffer->Unlock(), D3D_OK);
}

}  // namespace

TEST_F(DeviceTest, QuadFromVertexAndIndexBuffersDrawsLikeTheUserPointerQuad) {
  IDirect3DTexture9* texture = MakeTexture(2, 2, {0xFF112233, 0xFF445566, 0xFF778899, 0xFFAABBCC});
  device_->SetTexture(0, texture);
  UseStage(D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
  Fill(0xFF000000);
  DrawQuad(3.5f, 2.5f, 27.5f, 29.5f, 0xFFC08040);
  const std::vector<uint32_t> expected = ReadBackBuffer();
  ASSERT_NE(expected[16 * kSize + 16], 0xFF000000u) << "the reference quad was drawn";

  // The same strip as a list of two triangles, from the middle of a larger buffer.
  const TexturedVertex vertices[6] = {{0, 0, 0, 1, 0, 0, 0},
                                      {0, 0, 0, 1, 0, 0, 0},
                                      {3.5f, 2.5f, 0, 1, 0xFFC08040, 0, 0},
                                      {27.5f, 2.5f, 0, 1, 0xFFC08040, 1, 0},
                                      {3.5f, 29.5f, 0, 1, 0xFFC08040, 0, 1},
                                      {27.5f, 29.5f, 0, 1, 0xFFC08040, 1, 1}};
  const uint16_t indices[8] = {9, 9, 0, 1, 2, 2, 1, 3};
  IDirect3DVertexBuffer9* vertexBuffer = nullptr;
  IDirect3DIndexBuffer9* indexBuffer = nullptr;
  ASSERT_EQ(device_->CreateVertexBuffer(sizeof vertices, D3DUSAGE_WRITEONLY, kTexturedFvf, D3DPOOL_DEFAULT,
                                        &vertexBuffer, nullptr),
            D3D_OK);
  ASSERT_EQ(device_->CreateIndexBuffer(sizeof indices, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT,
                                       &indexBuffer, nullptr),
            D3D_OK);
  owned_.push_back(vertexBuffer);
  owned_.push_back(indexBuffer);
  WriteBuffer(vertexBuffer, vertices, sizeof vertices);
  WriteBuffer(indexBuffer, indices, sizeof indices);

  Fill(0xFF000000);
  ASSERT_EQ(device_->SetStreamSource(0, vertexBuffer, 0, sizeof(TexturedVertex)), D3D_OK);
  ASSERT_EQ(device_->SetIndices(indexBuffer), D3D_OK);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  // Base vertex 2, indices from the third: 0 1 2 / 2 1 3 of the quad's four vertices.
  ASSERT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 2, 0, 4, 2, 2), D3D_OK);
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  EXPECT_EQ(ReadBackBuffer(), expected);

  Fill(0xFF000000);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 2, 2), D3D_OK);
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  EXPECT_EQ(ReadBackBuffer(), expected);

  // Draws that would read past either buffer are refused.
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 3, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 2, 0, 4, 4, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 6, 0, 1), D3DERR_INVALIDCALL)
      << "index 9 lies outside the buffer";
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  device_->SetStreamSource(0, nullptr, 0, 0);
  device_->SetIndices(nullptr);
}

TEST_F(DeviceTest, BufferLocksStayInsideTheBufferAndDoNotNest) {
  IDirect3DVertexBuffer9* buffer = nullptr;
  ASSERT_EQ(
      device_->CreateVertexBuffer(64, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT, &buffer, nullptr),
      D3D_OK);
  owned_.push_back(buffer);
  void* data = nullptr;
  ASSERT_EQ(buffer->Lock(0, 0, &data, 0), D3D_OK) << "offset 0 size 0 locks the whole buffer";
  for (int i = 0; i < 64; ++i) EXPECT_EQ(static_cast<uint8_t*>(data)[i], 0) << "new buffers are zero-filled";
  EXPECT_EQ(buffer->Lock(0, 4, &data, 0), D3DERR_INVALIDCALL);
  ASSERT_EQ(buffer->Unlock(), D3D_OK);
  EXPECT_EQ(buffer->Unlock(), D3DERR_INVALIDCALL);
  const struct {
    UINT offset, size;
    HRESULT result;
  } cases[] = {
      {60, 4, D3D_OK}, {60, 5, D3DERR_INVALIDCALL}, {65, 0, D3DERR_INVALIDCALL}, {4, 0xFFFFFFFFu, D3DERR_INVALIDCALL}};
  for (const auto& c : cases) {
    EXPECT_EQ(buffer->Lock(c.offset, c.size, &data, 0), c.result) << c.offset << "+" << c.size;
    if (c.result == D3D_OK) buffer->Unlock();
  }
  IDirect3DIndexBuffer9* indices = nullptr;
  EXPECT_EQ(device_->CreateIndexBuffer(8, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &indices, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->CreateVertexBuffer(0, 0, 0, D3DPOOL_DEFAULT, &buffer, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, ShaderObjectsNeedShaderModel2AndTheirKindsVersionToken) {
  const DWORD vertexCode[] = {D3DVS_VERSION(2, 0), 0x0000FFFF};
  const DWORD pixelCode[] = {D3DPS_VERSION(2, 0), 0x0000FFFF};
  const DWORD laterCode[] = {D3DVS_VERSION(3, 0), 0x0000FFFF};
  IDirect3DVertexShader9* vertexShader = nullptr;
  IDirect3DPixelShader9* pixelShader = nullptr;
  EXPECT_EQ(device_->CreateVertexShader(vertexCode, &vertexShader), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->CreatePixelShader(pixelCode, &pixelShader), D3DERR_INVALIDCALL);
  EXPECT_EQ(vertexShader, nullptr);

  platform::testing::Direct3DSwitches switches;
  switches.reportShaderModel2 = true;
  platform::testing::SetDirect3DSwitches(switches);
  EXPECT_EQ(device_->CreateVertexShader(pixelCode, &vertexShader), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->CreateVertexShader(laterCode, &vertexShader), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->CreatePixelShader(vertexCode, &pixelShader), D3DERR_INVALIDCALL);
  ASSERT_EQ(device_->CreateVertexShader(vertexCode, &vertexShader), D3D_OK);
  ASSERT_EQ(device_->CreatePixelShader(pixelCode, &pixelShader), D3D_OK);
  // A bound shader cannot run here, so drawing refuses until it is unbound.
  device_->SetVertexShader(vertexShader);
  const TexturedVertex quad[3] = {};
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, quad, sizeof(TexturedVertex)), D3DERR_INVALIDCALL);
  device_->SetVertexShader(nullptr);
  EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, quad, sizeof(TexturedVertex)), D3D_OK);
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  vertexShader->Release();
  pixelShader->Release();
}
