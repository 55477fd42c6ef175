// The software Direct3D 9 device (plain and Ex), its implicit swap chain, and the Direct3D object
// that makes it.
#pragma once

#include <map>
#include <vector>

#include "d3d9/rasterizer.h"
#include "d3d9/resources.h"

namespace platform::d3d9 {

class Direct3D;
class Device;

class SwapChain final : public ComInterfaces<SwapChain, IDirect3DSwapChain9>, public CountedObject {
 public:
  explicit SwapChain(Device* device);
  ~SwapChain() override;
  static constexpr const IID* kInterfaceIds[] = {&IID_IDirect3DSwapChain9};
  HRESULT Present(const RECT* source, const RECT* destination, HWND window, const void* dirtyRegion,
                  DWORD flags) override;
  HRESULT GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) override;
  HRESULT GetPresentParameters(D3DPRESENT_PARAMETERS* parameters) override;
  HRESULT GetDevice(IDirect3DDevice9** device) override;
  Surface* BackBuffer() { return backBuffer_; }

 private:
  Device* device_;
  Surface* backBuffer_;  // Owned; its counts forward to this swap chain, whose counts forward to the device.
};

// A binding the device holds on an object (an internal reference).
template <typename Object>
class Binding {
 public:
  Binding() = default;
  Binding(const Binding&) = delete;
  Binding& operator=(const Binding&) = delete;
  ~Binding() { Set(nullptr); }
  void Set(Object* object) {
    if (object) object->AddInternal();
    Object* old = object_;
    object_ = object;
    if (old) old->ReleaseInternal();
  }
  Object* Get() const { return object_; }

 private:
  Object* object_ = nullptr;
};

// A vertex layout read from an FVF code or a vertex declaration (stream 0 only).
struct VertexLayout {
  bool valid = false;
  bool transformed = false;
  UINT size = 0;
  int position = 0;
  int diffuse = -1;
  int specular = -1;
  int texCount = 0;
  int texOffset[kMaxTexCoordSets] = {};
  int texDimensions[kMaxTexCoordSets] = {};
};
VertexLayout LayoutFromFvf(DWORD fvf);
VertexLayout LayoutFromDeclaration(const std::vector<D3DVERTEXELEMENT9>& elements);

class Device final : public ComInterfaces<Device, IDirect3DDevice9Ex>, public CountedObject {
 public:
  Device(Direct3D* direct3d, bool ex, HWND focusWindow, DWORD behaviorFlags, const D3DPRESENT_PARAMETERS& parameters);
  ~Device() override;

  void* InterfaceFor(REFIID iid);
  HRESULT TestCooperativeLevel() override;
  UINT GetAvailableTextureMem() override { return 512u << 20; }
  HRESULT GetDirect3D(IDirect3D9** direct3d) override;
  HRESULT GetDeviceCaps(D3DCAPS9* caps) override;
  HRESULT GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) override;
  HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) override;
  HRESULT GetSwapChain(UINT index, IDirect3DSwapChain9** swapChain) override;
  HRESULT Reset(D3DPRESENT_PARAMETERS* parameters) override;
  HRESULT Present(const RECT* source, const RECT* destination, HWND window, const void* dirtyRegion) override;
  HRESULT GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) override;
  void SetDialogBoxMode(BOOL enable) override;

  HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                        IDirect3DTexture9** texture, HANDLE* shared) override;
  HRESULT CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage, D3DFORMAT format,
                              D3DPOOL pool, IDirect3DVolumeTexture9** texture, HANDLE* shared) override;
  HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** buffer,
                             HANDLE* shared) override;
  HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DIndexBuffer9** buffer,
                            HANDLE* shared) override;
  HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample, DWORD quality,
                             BOOL lockable, IDirect3DSurface9** surface, HANDLE* shared) override;
  HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                    DWORD quality, BOOL discard, IDirect3DSurface9** surface, HANDLE* shared) override;
  HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                      IDirect3DSurface9** surface, HANDLE* shared) override;
  HRESULT UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* destination,
                        const POINT* destinationPoint) override;
  HRESULT UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* destination) override;
  HRESULT GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* destination) override;
  HRESULT StretchRect(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* destination,
                      const RECT* destinationRect, D3DTEXTUREFILTERTYPE filter) override;
  HRESULT ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) override;

  HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* surface) override;
  HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** surface) override;
  HRESULT SetDepthStencilSurface(IDirect3DSurface9* surface) override;
  HRESULT GetDepthStencilSurface(IDirect3DSurface9** surface) override;
  HRESULT BeginScene() override;
  HRESULT EndScene() override;
  HRESULT Clear(DWORD count, const RECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) override;

  HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
  HRESULT SetViewport(const D3DVIEWPORT9* viewport) override;
  HRESULT GetViewport(D3DVIEWPORT9* viewport) override;
  HRESULT SetMaterial(const D3DMATERIAL9* material) override;
  HRESULT GetMaterial(D3DMATERIAL9* material) override;
  HRESULT SetLight(DWORD index, const D3DLIGHT9* light) override;
  HRESULT GetLight(DWORD index, D3DLIGHT9* light) override;
  HRESULT LightEnable(DWORD index, BOOL enable) override;
  HRESULT GetLightEnable(DWORD index, BOOL* enable) override;
  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
  HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
  HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) override;
  HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
  HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
  HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override;
  HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
  HRESULT SetScissorRect(const RECT* rect) override;
  HRESULT GetScissorRect(RECT* rect) override;

  HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) override;
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertexIndex, UINT minVertexIndex, UINT vertexCount,
                               UINT startIndex, UINT primitiveCount) override;
  HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData, UINT stride) override;
  HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minVertexIndex, UINT vertexCount, UINT primitiveCount,
                                 const void* indexData, D3DFORMAT indexFormat, const void* vertexData,
                                 UINT stride) override;
  HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                  IDirect3DVertexDeclaration9** declaration) override;
  HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) override;
  HRESULT SetFVF(DWORD fvf) override;
  HRESULT GetFVF(DWORD* fvf) override;
  HRESULT CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** shader) override;
  HRESULT SetVertexShader(IDirect3DVertexShader9* shader) override;
  HRESULT SetVertexShaderConstantF(UINT start, const float* data, UINT count) override;
  HRESULT SetVertexShaderConstantI(UINT start, const int* data, UINT count) override;
  HRESULT SetVertexShaderConstantB(UINT start, const BOOL* data, UINT count) override;
  HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) override;
  HRESULT SetIndices(IDirect3DIndexBuffer9* buffer) override;
  HRESULT CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) override;
  HRESULT SetPixelShader(IDirect3DPixelShader9* shader) override;
  HRESULT SetPixelShaderConstantF(UINT start, const float* data, UINT count) override;
  HRESULT SetPixelShaderConstantI(UINT start, const int* data, UINT count) override;
  HRESULT SetPixelShaderConstantB(UINT start, const BOOL* data, UINT count) override;

  HRESULT SetMaximumFrameLatency(UINT maximumLatency) override;
  HRESULT GetMaximumFrameLatency(UINT* maximumLatency) override;
  HRESULT ResetEx(D3DPRESENT_PARAMETERS* parameters, D3DDISPLAYMODEEX* fullScreenMode) override;

  // For the swap chain and the resources.
  HRESULT PresentBackBuffer(const RECT* source, const RECT* destination, HWND window);
  const D3DPRESENT_PARAMETERS& PresentParameters() const { return parameters_; }
  void CountDefaultPoolResource(int delta) { defaultPoolResources_ += delta; }
  bool IsEx() const { return ex_; }

 protected:
  void OnLastExternalRelease() override;

 private:
  enum class Condition { Operational, Lost, NotReset };
  Condition CurrentCondition() const;
  void SetDefaultStates();
  void UnbindAll();
  void ResetTargetsToBackBuffer();
  void BuildPipelineState(PipelineState* state);
  // The pipeline state and the vertex layout are kept, built, between draws: any change to what
  // BuildPipelineState reads clears pipelineCurrent_ (StatesChanged), and any change to what the
  // layout is read from clears layoutCurrent_.
  void StatesChanged() { pipelineCurrent_ = false; }
  const PipelineState& CurrentPipelineState();
  HRESULT DrawVertices(D3DPRIMITIVETYPE type, UINT primitiveCount, const uint8_t* vertexData, size_t vertexBytes,
                       UINT stride, const uint32_t* indices, UINT minVertexIndex, UINT vertexCount);
  HRESULT CheckDrawable(UINT stride, VertexLayout* layout);
  bool TransformVertex(const VertexLayout& layout, const uint8_t* vertex, ScreenVertex* out);
  HRESULT ResetWith(D3DPRESENT_PARAMETERS* parameters);

  Direct3D* direct3d_;
  bool ex_;
  HWND focusWindow_;
  DWORD behaviorFlags_;
  D3DPRESENT_PARAMETERS parameters_;
  int seenLostGeneration_;
  SwapChain* swapChain_;                 // Owned; counts forward to the device.
  Surface* autoDepthStencil_ = nullptr;  // Owned when the parameters ask for one.
  int defaultPoolResources_ = 0;
  bool inScene_ = false;
  UINT maximumFrameLatency_ = 3;
  std::vector<uint32_t> presentPixels_;  // A 16-bit back buffer converted for the window, kept between presents.
  PipelineState pipeline_;
  bool pipelineCurrent_ = false;
  VertexLayout layout_;
  bool layoutCurrent_ = false;

  DWORD renderStates_[ZV_D3DRS_COUNT];
  DWORD stageStates_[kStageCount][ZV_D3DTSS_COUNT];
  DWORD samplerStates_[kStageCount][ZV_D3DSAMP_COUNT];
  D3DMATRIX world_, view_, projection_, textureTransforms_[kStageCount];
  D3DVIEWPORT9 viewport_;
  RECT scissor_;
  D3DMATERIAL9 material_{};
  struct LightEntry {
    D3DLIGHT9 light;
    BOOL enabled;
  };
  std::map<DWORD, LightEntry> lights_;
  DWORD fvf_ = 0;
  Binding<VertexDeclaration> declaration_;
  Binding<CountedObject> textureBindings_[kStageCount];
  IDirect3DBaseTexture9* textures_[kStageCount] = {};
  Binding<Surface> renderTarget_;
  Binding<Surface> depthStencil_;
  Binding<VertexBuffer> streamSource_;
  UINT streamOffset_ = 0, streamStride_ = 0;
  Binding<IndexBuffer> indices_;
  Binding<VertexShader> vertexShader_;
  Binding<PixelShader> pixelShader_;
};

class Direct3D final : public ComInterfaces<Direct3D, IDirect3D9Ex>, public CountedObject {
 public:
  explicit Direct3D(bool ex) : ex_(ex) {}
  void* InterfaceFor(REFIID iid);
  UINT GetAdapterCount() override { return 1; }
  HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER9* identifier) override;
  UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) override;
  HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* out) override;
  HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override;
  HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT displayFormat, D3DFORMAT backBufferFormat,
                          BOOL windowed) override;
  HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                            D3DRESOURCETYPE resourceType, D3DFORMAT format) override;
  HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, D3DFORMAT renderTargetFormat,
                                 D3DFORMAT depthStencilFormat) override;
  HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) override;
  HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                       D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device) override;
  HRESULT CreateDeviceEx(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                         D3DPRESENT_PARAMETERS* parameters, D3DDISPLAYMODEEX* fullScreenMode,
                         IDirect3DDevice9Ex** device) override;

 private:
  HRESULT MakeDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                     D3DPRESENT_PARAMETERS* parameters, const D3DDISPLAYMODEEX* fullScreenMode, bool ex,
                     Device** device);
  bool ex_;
};

// What the software device can do, as caps and as format checks (shared by the object and device).
void FillDeviceCaps(D3DCAPS9* caps);
bool IsDisplayFormat(D3DFORMAT format);
bool IsRenderTargetFormat(D3DFORMAT format);
bool IsDepthFormat(D3DFORMAT format);
bool IsTextureFormat(D3DFORMAT format);
UINT MaximumTextureSide();
// Checks the presentation parameters and fills in what the platform fills in (sizes, format,
// back-buffer count). D3D_OK or D3DERR_INVALIDCALL.
HRESULT CompletePresentParameters(D3DPRESENT_PARAMETERS* parameters, HWND focusWindow);

}  // namespace platform::d3d9
