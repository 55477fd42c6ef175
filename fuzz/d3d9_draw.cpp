// Hostile draws on the software Direct3D 9 device: the input chooses states (any values, in
// range or not), a vertex format and the raw vertex and index bytes (NaN, infinities, huge
// coordinates, out-of-range indices). The device must refuse or draw, never overrun or hang.
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/d3d9.h"

namespace {

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint32_t Word() {
    uint32_t value = 0;
    for (int i = 0; i < 4 && offset_ < size_; ++i) value |= static_cast<uint32_t>(data_[offset_++]) << (8 * i);
    return value;
  }
  uint8_t Byte() { return offset_ < size_ ? data_[offset_++] : 0; }
  const uint8_t* Rest(size_t* size) {
    *size = size_ - offset_;
    return data_ + offset_;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t offset_ = 0;
};

struct Scene {
  IDirect3D9* direct3d = nullptr;
  IDirect3DDevice9* device = nullptr;
  IDirect3DTexture9* texture = nullptr;
  IDirect3DSurface9* depth = nullptr;

  Scene() {
    direct3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS parameters{};
    parameters.BackBufferWidth = 64;
    parameters.BackBufferHeight = 48;
    parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
    parameters.SwapEffect = D3DSWAPEFFECT_COPY;
    parameters.hDeviceWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(1));
    parameters.Windowed = TRUE;
    parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    direct3d->CreateDevice(0, D3DDEVTYPE_HAL, parameters.hDeviceWindow, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                           &parameters, &device);
    device->CreateTexture(16, 8, 0, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr);
    device->CreateDepthStencilSurface(32, 32, D3DFMT_D16, D3DMULTISAMPLE_NONE, 0, TRUE, &depth, nullptr);
  }
};

const DWORD kStates[] = {
    D3DRS_ZENABLE,           D3DRS_SHADEMODE,        D3DRS_CULLMODE,       D3DRS_ALPHATESTENABLE,  D3DRS_ALPHAFUNC,
    D3DRS_ALPHAREF,          D3DRS_ALPHABLENDENABLE, D3DRS_SRCBLEND,       D3DRS_DESTBLEND,        D3DRS_BLENDOP,
    D3DRS_SCISSORTESTENABLE, D3DRS_FOGENABLE,        D3DRS_SPECULARENABLE, D3DRS_COLORWRITEENABLE, D3DRS_ZFUNC,
    D3DRS_FOGVERTEXMODE};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Scene scene;
  IDirect3DDevice9* device = scene.device;
  Reader reader(data, size);
  for (DWORD state : kStates) device->SetRenderState(state, reader.Byte() % 12);
  for (DWORD stage = 0; stage < 3; ++stage)
    for (DWORD type : {D3DTSS_COLOROP, D3DTSS_COLORARG1, D3DTSS_COLORARG2, D3DTSS_ALPHAOP, D3DTSS_ALPHAARG1,
                       D3DTSS_ALPHAARG2, D3DTSS_RESULTARG, D3DTSS_TEXCOORDINDEX, D3DTSS_TEXTURETRANSFORMFLAGS})
      device->SetTextureStageState(stage, type, reader.Byte() % 40);
  for (DWORD type : {D3DSAMP_ADDRESSU, D3DSAMP_ADDRESSV, D3DSAMP_MAGFILTER, D3DSAMP_MINFILTER, D3DSAMP_MIPFILTER})
    device->SetSamplerState(0, type, reader.Byte() % 7);
  device->SetTexture(0, reader.Byte() % 2 ? scene.texture : nullptr);
  device->SetDepthStencilSurface(reader.Byte() % 2 ? scene.depth : nullptr);
  RECT scissor = {static_cast<LONG>(reader.Word()), static_cast<LONG>(reader.Word()), static_cast<LONG>(reader.Word()),
                  static_cast<LONG>(reader.Word())};
  device->SetScissorRect(&scissor);
  D3DVIEWPORT9 viewport = {
      reader.Byte() % 70u, reader.Byte() % 50u, reader.Byte() % 70u, reader.Byte() % 50u, 0.0f, 1.0f};
  device->SetViewport(&viewport);
  const DWORD fvfs[] = {0x44,  0x144, 0x2C4, 0x42,
                        0x142, 0x2D2, 0x1C4, D3DFVF_XYZRHW | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE4(0)};
  DWORD fvf = fvfs[reader.Byte() % 8];
  device->SetFVF(fvf);
  D3DPRIMITIVETYPE type = 1 + reader.Byte() % 7;
  UINT stride = 20 + reader.Byte() % 32;
  bool indexed = reader.Byte() % 2;
  size_t restSize;
  const uint8_t* rest = reader.Rest(&restSize);
  std::vector<uint8_t> vertices(rest, rest + restSize);
  UINT vertexCount = static_cast<UINT>(vertices.size() / stride);
  if (vertexCount == 0) return 0;
  UINT primitives = 1 + vertexCount / 3;
  device->BeginScene();
  if (indexed) {
    std::vector<uint16_t> indices(primitives * 3 + 2);
    for (size_t i = 0; i < indices.size(); ++i) indices[i] = vertices[i % vertices.size()] % (vertexCount + 2);
    device->DrawIndexedPrimitiveUP(type, 0, vertexCount, primitives, indices.data(), D3DFMT_INDEX16, vertices.data(),
                                   stride);
  } else {
    // The count of primitives must fit the vertices the caller really has.
    UINT fitting = type <= 1          ? vertexCount
                   : type == 2        ? vertexCount / 2
                   : type == 3        ? vertexCount - 1
                   : type == 4        ? vertexCount / 3
                   : vertexCount >= 2 ? vertexCount - 2
                                      : 0;
    if (fitting > 0) device->DrawPrimitiveUP(type, fitting, vertices.data(), stride);
  }
  device->EndScene();
  device->Clear(0, nullptr, D3DCLEAR_TARGET | (reader.Byte() % 2 ? D3DCLEAR_ZBUFFER : 0), 0, 1.0f, 0);
  return 0;
}
