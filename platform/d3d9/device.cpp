// The software device: creation, states, resources, copies between surfaces, Clear, scenes,
// Present, Reset and the lost-device conditions. Drawing is in device_draw.cpp.
#include "d3d9/device.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ddraw/vertical_blank.h"
#include "platform/window_surface.h"

namespace platform::d3d9 {

namespace {

D3DMATRIX Identity() {
  D3DMATRIX matrix{};
  for (int i = 0; i < 4; ++i) matrix.m[i][i] = 1.0f;
  return matrix;
}

DWORD FloatBits(float value) {
  DWORD bits;
  std::memcpy(&bits, &value, 4);
  return bits;
}

UINT FullChainLevels(UINT width, UINT height, UINT depth = 1) {
  UINT levels = 1;
  while (width > 1 || height > 1 || depth > 1) {
    width = std::max(1u, width / 2);
    height = std::max(1u, height / 2);
    depth = std::max(1u, depth / 2);
    ++levels;
  }
  return levels;
}

bool IsRenderTargetSurface(Surface* surface) { return surface->IsRenderTarget() && !surface->IsDepth(); }

// Copies a rectangle of pixels between storages of possibly different formats and sizes, nearest
// or bilinear, through 8-bit ARGB.
void StretchPixels(const SurfaceStorage& source, const RECT& from, SurfaceStorage& destination, const RECT& to,
                   bool linear) {
  int sourceWidth = from.right - from.left, sourceHeight = from.bottom - from.top;
  int width = to.right - to.left, height = to.bottom - to.top;
  int sourceBytes = FindPixelFormat(source.format)->bytesPerPixel;
  int destinationBytes = FindPixelFormat(destination.format)->bytesPerPixel;
  if (sourceWidth == width && sourceHeight == height && source.format == destination.format) {
    for (int y = 0; y < height; ++y)
      std::memmove(destination.Row(to.top + y) + static_cast<size_t>(to.left) * destinationBytes,
                   source.Row(from.top + y) + static_cast<size_t>(from.left) * sourceBytes,
                   static_cast<size_t>(width) * sourceBytes);
    return;
  }
  auto read = [&](int x, int y) {
    x = std::clamp(x, static_cast<int>(from.left), static_cast<int>(from.right) - 1);
    y = std::clamp(y, static_cast<int>(from.top), static_cast<int>(from.bottom) - 1);
    return ReadPixelArgb(source.format, source.Row(y) + static_cast<size_t>(x) * sourceBytes);
  };
  for (int y = 0; y < height; ++y) {
    double sy = from.top + (y + 0.5) * sourceHeight / height;
    for (int x = 0; x < width; ++x) {
      double sx = from.left + (x + 0.5) * sourceWidth / width;
      uint32_t color;
      if (!linear) {
        color = read(static_cast<int>(std::floor(sx)), static_cast<int>(std::floor(sy)));
      } else {
        double fx = sx - 0.5, fy = sy - 0.5, x0 = std::floor(fx), y0 = std::floor(fy);
        double wx = fx - x0, wy = fy - y0;
        uint32_t c[4] = {read(int(x0), int(y0)), read(int(x0) + 1, int(y0)), read(int(x0), int(y0) + 1),
                         read(int(x0) + 1, int(y0) + 1)};
        double w[4] = {(1 - wx) * (1 - wy), wx * (1 - wy), (1 - wx) * wy, wx * wy};
        color = 0;
        for (int shift = 0; shift < 32; shift += 8) {
          double sum = 0;
          for (int k = 0; k < 4; ++k) sum += w[k] * ((c[k] >> shift) & 0xFF);
          color |= static_cast<uint32_t>(std::min(255.0, std::floor(sum + 0.5))) << shift;
        }
      }
      WritePixelArgb(destination.format,
                     destination.Row(to.top + y) + static_cast<size_t>(to.left + x) * destinationBytes, color);
    }
  }
}

// Same-format copy of whole rows (block rows for DXT) of a rectangle.
void CopyRect(const SurfaceStorage& source, const RECT& from, SurfaceStorage& destination, POINT to) {
  bool blocks = IsDxtFormat(source.format);
  int unit = blocks ? 4 : 1;
  size_t rowBytes = RowPitchOf(source.format, from.right - from.left);
  for (LONG y = from.top; y < from.bottom; y += unit) {
    const uint8_t* in = source.Row(y / unit) + RowPitchOf(source.format, from.left);
    uint8_t* out = destination.Row((to.y + (y - from.top)) / unit) + RowPitchOf(destination.format, to.x);
    std::memcpy(out, in, rowBytes);
  }
}

bool Intersect(const RECT& a, const RECT& b, RECT* out) {
  out->left = std::max(a.left, b.left);
  out->top = std::max(a.top, b.top);
  out->right = std::min(a.right, b.right);
  out->bottom = std::min(a.bottom, b.bottom);
  return out->left < out->right && out->top < out->bottom;
}

}  // namespace

// ---- Swap chain ----

SwapChain::SwapChain(Device* device) : device_(device) {
  SetContainer(device);
  const D3DPRESENT_PARAMETERS& parameters = device->PresentParameters();
  backBuffer_ = new Surface(device, this, SurfaceKind::BackBuffer, parameters.BackBufferFormat,
                            parameters.BackBufferWidth, parameters.BackBufferHeight, D3DUSAGE_RENDERTARGET,
                            D3DPOOL_DEFAULT, (parameters.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0);
}

SwapChain::~SwapChain() { delete backBuffer_; }

HRESULT SwapChain::Present(const RECT* source, const RECT* destination, HWND window, const void*, DWORD) {
  return device_->PresentBackBuffer(source, destination, window);
}

HRESULT SwapChain::GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) {
  if (!surface || index != 0 || type != D3DBACKBUFFER_TYPE_MONO) return D3DERR_INVALIDCALL;
  backBuffer_->AddExternal();
  *surface = backBuffer_;
  return D3D_OK;
}

HRESULT SwapChain::GetPresentParameters(D3DPRESENT_PARAMETERS* parameters) {
  if (!parameters) return D3DERR_INVALIDCALL;
  *parameters = device_->PresentParameters();
  return D3D_OK;
}

HRESULT SwapChain::GetDevice(IDirect3DDevice9** device) {
  if (!device) return D3DERR_INVALIDCALL;
  device_->AddExternal();
  *device = device_;
  return D3D_OK;
}

// ---- Device life ----

Device::Device(Direct3D* direct3d, bool ex, HWND focusWindow, DWORD behaviorFlags,
               const D3DPRESENT_PARAMETERS& parameters)
    : direct3d_(direct3d), ex_(ex), focusWindow_(focusWindow), behaviorFlags_(behaviorFlags), parameters_(parameters) {
  direct3d_->AddExternal();
  seenLostGeneration_ = StandIn().lostGeneration.load();
  swapChain_ = new SwapChain(this);
  if (parameters_.EnableAutoDepthStencil) {
    autoDepthStencil_ = new Surface(this, this, SurfaceKind::DepthStencil, parameters_.AutoDepthStencilFormat,
                                    parameters_.BackBufferWidth, parameters_.BackBufferHeight, D3DUSAGE_DEPTHSTENCIL,
                                    D3DPOOL_DEFAULT, false);
  }
  SetDefaultStates();
}

Device::~Device() {
  delete autoDepthStencil_;
  delete swapChain_;
}

void Device::OnLastExternalRelease() {
  UnbindAll();
  direct3d_->ReleaseExternal();
}

void* Device::InterfaceFor(REFIID iid) {
  if (iid == IID_IUnknown || iid == IID_IDirect3DDevice9 || (ex_ && iid == IID_IDirect3DDevice9Ex))
    return static_cast<IDirect3DDevice9Ex*>(this);
  return nullptr;
}
void Device::UnbindAll() {
  StatesChanged();
  layoutCurrent_ = false;
  declaration_.Set(nullptr);
  for (int stage = 0; stage < kStageCount; ++stage) {
    textureBindings_[stage].Set(nullptr);
    textures_[stage] = nullptr;
  }
  renderTarget_.Set(nullptr);
  depthStencil_.Set(nullptr);
  streamSource_.Set(nullptr);
  indices_.Set(nullptr);
  vertexShader_.Set(nullptr);
  pixelShader_.Set(nullptr);
}

void Device::ResetTargetsToBackBuffer() {
  StatesChanged();
  renderTarget_.Set(swapChain_->BackBuffer());
  depthStencil_.Set(autoDepthStencil_);
  const SurfaceStorage& target = swapChain_->BackBuffer()->Storage();
  viewport_ = {0, 0, target.width, target.height, 0.0f, 1.0f};
  scissor_ = {0, 0, static_cast<LONG>(target.width), static_cast<LONG>(target.height)};
}

void Device::SetDefaultStates() {
  StatesChanged();
  std::fill(std::begin(renderStates_), std::end(renderStates_), 0u);
  DWORD* states = renderStates_;
  states[D3DRS_ZENABLE] = parameters_.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
  states[D3DRS_FILLMODE] = D3DFILL_SOLID;
  states[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
  states[D3DRS_ZWRITEENABLE] = TRUE;
  states[D3DRS_LASTPIXEL] = TRUE;
  states[D3DRS_SRCBLEND] = D3DBLEND_ONE;
  states[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
  states[D3DRS_CULLMODE] = D3DCULL_CCW;
  states[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
  states[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
  states[D3DRS_FOGEND] = FloatBits(1.0f);
  states[D3DRS_FOGDENSITY] = FloatBits(1.0f);
  states[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
  states[D3DRS_CLIPPING] = TRUE;
  states[D3DRS_LIGHTING] = TRUE;
  states[D3DRS_COLORVERTEX] = TRUE;
  states[D3DRS_LOCALVIEWER] = TRUE;
  states[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
  states[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
  states[D3DRS_POINTSIZE] = FloatBits(1.0f);
  states[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
  states[D3DRS_COLORWRITEENABLE] = 0xF;
  states[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
  states[D3DRS_SRCBLENDALPHA] = D3DBLEND_ONE;
  states[D3DRS_DESTBLENDALPHA] = D3DBLEND_ZERO;
  states[D3DRS_BLENDOPALPHA] = D3DBLENDOP_ADD;
  for (int stage = 0; stage < kStageCount; ++stage) {
    DWORD* stageState = stageStates_[stage];
    std::fill(stageState, stageState + ZV_D3DTSS_COUNT, 0u);
    stageState[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    stageState[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    stageState[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    stageState[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    stageState[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    stageState[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    stageState[D3DTSS_TEXCOORDINDEX] = stage;
    stageState[D3DTSS_COLORARG0] = stageState[D3DTSS_ALPHAARG0] = stageState[D3DTSS_RESULTARG] = D3DTA_CURRENT;
    DWORD* samplerState = samplerStates_[stage];
    std::fill(samplerState, samplerState + ZV_D3DSAMP_COUNT, 0u);
    samplerState[D3DSAMP_ADDRESSU] = samplerState[D3DSAMP_ADDRESSV] = samplerState[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
    samplerState[D3DSAMP_MAGFILTER] = samplerState[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
    samplerState[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
    samplerState[D3DSAMP_MAXANISOTROPY] = 1;
    textureTransforms_[stage] = Identity();
  }
  world_ = view_ = projection_ = Identity();
  material_ = {};
  lights_.clear();
  fvf_ = 0;
  UnbindAll();
  ResetTargetsToBackBuffer();
  inScene_ = false;
}

Device::Condition Device::CurrentCondition() const {
  if (StandIn().devicesLost.load()) return Condition::Lost;
  if (seenLostGeneration_ != StandIn().lostGeneration.load()) return Condition::NotReset;
  return Condition::Operational;
}

HRESULT Device::TestCooperativeLevel() {
  switch (CurrentCondition()) {
    case Condition::Lost:
      return D3DERR_DEVICELOST;
    case Condition::NotReset:
      return D3DERR_DEVICENOTRESET;
    default:
      return D3D_OK;
  }
}

HRESULT Device::GetDirect3D(IDirect3D9** direct3d) {
  if (!direct3d) return D3DERR_INVALIDCALL;
  direct3d_->AddExternal();
  *direct3d = direct3d_;
  return D3D_OK;
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* caps) {
  if (!caps) return D3DERR_INVALIDCALL;
  FillDeviceCaps(caps);
  return D3D_OK;
}

HRESULT Device::GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) {
  if (swapChain != 0) return D3DERR_INVALIDCALL;
  if (!parameters_.Windowed && mode) {
    *mode = {parameters_.BackBufferWidth, parameters_.BackBufferHeight, parameters_.FullScreen_RefreshRateInHz,
             parameters_.BackBufferFormat};
    return D3D_OK;
  }
  return direct3d_->GetAdapterDisplayMode(0, mode);
}

HRESULT Device::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) {
  if (!parameters) return D3DERR_INVALIDCALL;
  *parameters = {0, D3DDEVTYPE_HAL, focusWindow_, behaviorFlags_};
  return D3D_OK;
}

HRESULT Device::GetSwapChain(UINT index, IDirect3DSwapChain9** swapChain) {
  if (!swapChain || index != 0) return D3DERR_INVALIDCALL;
  swapChain_->AddExternal();
  *swapChain = swapChain_;
  return D3D_OK;
}

HRESULT Device::GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) {
  if (swapChain != 0) return D3DERR_INVALIDCALL;
  return swapChain_->GetBackBuffer(index, type, surface);
}

void Device::SetDialogBoxMode(BOOL enable) { RecordCall("SetDialogBoxMode", "%d", enable); }

HRESULT Device::ResetWith(D3DPRESENT_PARAMETERS* parameters) {
  if (TakeFaultCount(StandIn().failDeviceResets)) return D3DERR_DEVICELOST;
  if (CurrentCondition() == Condition::Lost) return D3DERR_DEVICELOST;
  // A plain device resets only once every DEFAULT-pool resource is gone; the Ex device keeps them.
  if (!ex_ && defaultPoolResources_ > 0) return D3DERR_INVALIDCALL;
  D3DPRESENT_PARAMETERS completed = *parameters;
  HRESULT result = CompletePresentParameters(&completed, focusWindow_);
  if (FAILED(result)) return result;
  *parameters = completed;
  parameters_ = completed;
  UnbindAll();
  Surface* backBuffer = swapChain_->BackBuffer();
  backBuffer->Storage().Allocate(completed.BackBufferFormat, completed.BackBufferWidth, completed.BackBufferHeight);
  if (autoDepthStencil_ && !completed.EnableAutoDepthStencil) {
    delete autoDepthStencil_;
    autoDepthStencil_ = nullptr;
  }
  if (completed.EnableAutoDepthStencil) {
    if (!autoDepthStencil_)
      autoDepthStencil_ = new Surface(this, this, SurfaceKind::DepthStencil, completed.AutoDepthStencilFormat,
                                      completed.BackBufferWidth, completed.BackBufferHeight, D3DUSAGE_DEPTHSTENCIL,
                                      D3DPOOL_DEFAULT, false);
    else
      autoDepthStencil_->Storage().Allocate(completed.AutoDepthStencilFormat, completed.BackBufferWidth,
                                            completed.BackBufferHeight);
  }
  seenLostGeneration_ = StandIn().lostGeneration.load();
  SetDefaultStates();
  RecordCall("Reset", "%u,%u", completed.BackBufferWidth, completed.BackBufferHeight);
  return D3D_OK;
}

HRESULT Device::Reset(D3DPRESENT_PARAMETERS* parameters) {
  if (!parameters) return D3DERR_INVALIDCALL;
  return ResetWith(parameters);
}

HRESULT Device::ResetEx(D3DPRESENT_PARAMETERS* parameters, D3DDISPLAYMODEEX* fullScreenMode) {
  if (!parameters) return D3DERR_INVALIDCALL;
  if (parameters->Windowed && fullScreenMode) return D3DERR_INVALIDCALL;
  return ResetWith(parameters);
}

HRESULT Device::SetMaximumFrameLatency(UINT maximumLatency) {
  if (maximumLatency > 16) return D3DERR_INVALIDCALL;
  maximumFrameLatency_ = maximumLatency == 0 ? 3 : maximumLatency;
  RecordCall("SetMaximumFrameLatency", "%u", maximumLatency);
  return D3D_OK;
}

HRESULT Device::GetMaximumFrameLatency(UINT* maximumLatency) {
  if (!maximumLatency) return D3DERR_INVALIDCALL;
  *maximumLatency = maximumFrameLatency_;
  return D3D_OK;
}

// ---- Present ----

HRESULT Device::Present(const RECT* source, const RECT* destination, HWND window, const void*) {
  return PresentBackBuffer(source, destination, window);
}

HRESULT Device::PresentBackBuffer(const RECT* source, const RECT* destination, HWND window) {
  if (CurrentCondition() != Condition::Operational) return D3DERR_DEVICELOST;
  // The platform refuses rectangles on a full-screen flip.
  if (!parameters_.Windowed && (source || destination)) return D3DERR_INVALIDCALL;
  HWND target = window ? window : (parameters_.hDeviceWindow ? parameters_.hDeviceWindow : focusWindow_);
  const SurfaceStorage& back = swapChain_->BackBuffer()->Storage();
  RECT area;
  if (!RectInside(source, back.width, back.height, &area)) return D3DERR_INVALIDCALL;
  if (destination && (destination->right <= destination->left || destination->bottom <= destination->top))
    return D3DERR_INVALIDCALL;
  if (parameters_.PresentationInterval == D3DPRESENT_INTERVAL_ONE ||
      parameters_.PresentationInterval == D3DPRESENT_INTERVAL_DEFAULT)
    platform::ddraw::WaitForNextVerticalBlank();
  int width = area.right - area.left, height = area.bottom - area.top;
  int bytes = FindPixelFormat(back.format)->bytesPerPixel;
  const void* pixels;
  size_t pitch;
  if (back.format == D3DFMT_X8R8G8B8 || back.format == D3DFMT_A8R8G8B8) {
    // Already the window's layout (B, G, R, X): shown straight from the back buffer.
    pixels = back.Row(area.top) + static_cast<size_t>(area.left) * 4;
    pitch = back.pitch;
  } else {
    presentPixels_.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        presentPixels_[static_cast<size_t>(y) * width + x] = ReadPixelArgb(
            back.format, back.Row(area.top + y) + static_cast<size_t>(area.left + x) * bytes);
    pixels = presentPixels_.data();
    pitch = static_cast<size_t>(width) * 4;
  }
  RecordCall("Present", "%d,%d,%d,%d", static_cast<int>(area.left), static_cast<int>(area.top),
             static_cast<int>(area.right), static_cast<int>(area.bottom));
  // A window that is gone is not the device's failure: the frame is simply not shown.
  platform::PresentToWindow(target, pixels, width, height, static_cast<int>(pitch), destination);
  return D3D_OK;
}

// ---- Resource creation ----

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DTexture9** texture, HANDLE* shared) {
  if (!texture) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  testing::Direct3DSwitches switches = CurrentSwitches();
  if (shared || width == 0 || height == 0 || width > MaximumTextureSide() || height > MaximumTextureSide())
    return D3DERR_INVALIDCALL;
  if (switches.reportSquareOnlyTextures && width != height) return D3DERR_INVALIDCALL;
  if (pool > D3DPOOL_SCRATCH || (ex_ && pool == D3DPOOL_MANAGED)) return D3DERR_INVALIDCALL;
  if (usage & ~(D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY | D3DUSAGE_SOFTWAREPROCESSING))
    return D3DERR_INVALIDCALL;
  bool renderTarget = (usage & D3DUSAGE_RENDERTARGET) != 0, dynamic = (usage & D3DUSAGE_DYNAMIC) != 0;
  if (renderTarget && (dynamic || pool != D3DPOOL_DEFAULT || !IsRenderTargetFormat(format))) return D3DERR_INVALIDCALL;
  if (dynamic && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
  if (!IsTextureFormat(format)) return D3DERR_INVALIDCALL;
  UINT full = FullChainLevels(width, height);
  if (levels == 0) levels = full;
  if (levels > full || levels > kMaxTextureLevels) return D3DERR_INVALIDCALL;
  auto* made = new Texture(this, width, height, levels, usage, format, pool);
  if (pool == D3DPOOL_DEFAULT) made->CountAsDefaultPoolResource();
  *texture = made;
  RecordCall("CreateTexture", "%u,%u,%u,0x%X,%u,%u", width, height, levels, usage, format, pool);
  return D3D_OK;
}

HRESULT Device::CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage, D3DFORMAT format,
                                    D3DPOOL pool, IDirect3DVolumeTexture9** texture, HANDLE* shared) {
  if (!texture) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  if (shared || width == 0 || height == 0 || depth == 0 || width > 256 || height > 256 || depth > 256)
    return D3DERR_INVALIDCALL;
  if (pool > D3DPOOL_SCRATCH || (ex_ && pool == D3DPOOL_MANAGED) || (usage & D3DUSAGE_RENDERTARGET))
    return D3DERR_INVALIDCALL;
  if (!IsTextureFormat(format) || IsDxtFormat(format)) return D3DERR_INVALIDCALL;
  UINT full = FullChainLevels(width, height, depth);
  if (levels == 0) levels = full;
  if (levels > full) return D3DERR_INVALIDCALL;
  auto* made = new VolumeTexture(this, width, height, depth, levels, usage, format, pool);
  if (pool == D3DPOOL_DEFAULT) made->CountAsDefaultPoolResource();
  *texture = made;
  return D3D_OK;
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** buffer,
                                   HANDLE* shared) {
  if (!buffer) return D3DERR_INVALIDCALL;
  *buffer = nullptr;
  if (shared || length == 0 || length > (256u << 20) || pool > D3DPOOL_SCRATCH || (ex_ && pool == D3DPOOL_MANAGED))
    return D3DERR_INVALIDCALL;
  if (fvf != 0 && !LayoutFromFvf(fvf).valid) return D3DERR_INVALIDCALL;
  auto* made = new VertexBuffer(this, length, usage, fvf, pool);
  if (pool == D3DPOOL_DEFAULT) made->CountAsDefaultPoolResource();
  *buffer = made;
  RecordCall("CreateVertexBuffer", "%u,0x%X,0x%X,%u", length, usage, fvf, pool);
  return D3D_OK;
}

HRESULT Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DIndexBuffer9** buffer, HANDLE* shared) {
  if (!buffer) return D3DERR_INVALIDCALL;
  *buffer = nullptr;
  if (shared || length == 0 || length > (256u << 20) || pool > D3DPOOL_SCRATCH || (ex_ && pool == D3DPOOL_MANAGED))
    return D3DERR_INVALIDCALL;
  if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
  auto* made = new IndexBuffer(this, length, usage, format, pool);
  if (pool == D3DPOOL_DEFAULT) made->CountAsDefaultPoolResource();
  *buffer = made;
  RecordCall("CreateIndexBuffer", "%u,0x%X,%u,%u", length, usage, format, pool);
  return D3D_OK;
}

HRESULT Device::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample, DWORD,
                                   BOOL lockable, IDirect3DSurface9** surface, HANDLE* shared) {
  if (!surface) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  if (shared || width == 0 || height == 0 || width > 16384 || height > 16384 || multiSample != D3DMULTISAMPLE_NONE ||
      !IsRenderTargetFormat(format))
    return D3DERR_INVALIDCALL;
  auto* made = new Surface(this, nullptr, SurfaceKind::RenderTarget, format, width, height, D3DUSAGE_RENDERTARGET,
                           D3DPOOL_DEFAULT, lockable != FALSE);
  made->CountAsDefaultPoolResource();
  *surface = made;
  RecordCall("CreateRenderTarget", "%u,%u,%u,%d", width, height, format, lockable);
  return D3D_OK;
}

HRESULT Device::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                          DWORD, BOOL, IDirect3DSurface9** surface, HANDLE* shared) {
  if (!surface) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  if (shared || width == 0 || height == 0 || width > 16384 || height > 16384 || multiSample != D3DMULTISAMPLE_NONE ||
      !IsDepthFormat(format))
    return D3DERR_INVALIDCALL;
  auto* made = new Surface(this, nullptr, SurfaceKind::DepthStencil, format, width, height, D3DUSAGE_DEPTHSTENCIL,
                           D3DPOOL_DEFAULT, false);
  made->CountAsDefaultPoolResource();
  *surface = made;
  RecordCall("CreateDepthStencilSurface", "%u,%u,%u", width, height, format);
  return D3D_OK;
}

HRESULT Device::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                            IDirect3DSurface9** surface, HANDLE* shared) {
  if (!surface) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  if (shared || width == 0 || height == 0 || width > 16384 || height > 16384 || pool == D3DPOOL_MANAGED ||
      pool > D3DPOOL_SCRATCH || !IsColorFormat(format) || (IsDxtFormat(format) && !IsTextureFormat(format)))
    return D3DERR_INVALIDCALL;
  auto* made = new Surface(this, nullptr, SurfaceKind::OffscreenPlain, format, width, height, 0, pool, true);
  if (pool == D3DPOOL_DEFAULT) made->CountAsDefaultPoolResource();
  *surface = made;
  RecordCall("CreateOffscreenPlainSurface", "%u,%u,%u,%u", width, height, format, pool);
  return D3D_OK;
}

// ---- Copies between surfaces ----

HRESULT Device::UpdateSurface(IDirect3DSurface9* sourceInterface, const RECT* sourceRect,
                              IDirect3DSurface9* destinationInterface, const POINT* destinationPoint) {
  Surface* source = SurfaceFrom(sourceInterface);
  Surface* destination = SurfaceFrom(destinationInterface);
  if (!source || !destination || source->Pool() != D3DPOOL_SYSTEMMEM || destination->Pool() != D3DPOOL_DEFAULT ||
      source->IsDepth() || destination->IsDepth() || source->IsLocked() || destination->IsLocked())
    return D3DERR_INVALIDCALL;
  SurfaceStorage& from = source->Storage();
  SurfaceStorage& to = destination->Storage();
  if (from.format != to.format) return D3DERR_INVALIDCALL;
  RECT area;
  if (!RectInside(sourceRect, from.width, from.height, &area)) return D3DERR_INVALIDCALL;
  POINT at = destinationPoint ? *destinationPoint : POINT{0, 0};
  LONG width = area.right - area.left, height = area.bottom - area.top;
  if (at.x < 0 || at.y < 0 || at.x + width > static_cast<LONG>(to.width) ||
      at.y + height > static_cast<LONG>(to.height))
    return D3DERR_INVALIDCALL;
  if (IsDxtFormat(from.format) && ((area.left | area.top | at.x | at.y) & 3)) return D3DERR_INVALIDCALL;
  CopyRect(from, area, to, at);
  RecordCall("UpdateSurface", "%ld,%ld,%ld,%ld,%ld,%ld", static_cast<long>(area.left), static_cast<long>(area.top),
             static_cast<long>(area.right), static_cast<long>(area.bottom), static_cast<long>(at.x),
             static_cast<long>(at.y));
  return D3D_OK;
}

HRESULT Device::UpdateTexture(IDirect3DBaseTexture9* sourceInterface, IDirect3DBaseTexture9* destinationInterface) {
  if (Texture* source = TextureFrom(sourceInterface)) {
    Texture* destination = TextureFrom(destinationInterface);
    if (!destination || source->Pool() != D3DPOOL_SYSTEMMEM || destination->Pool() != D3DPOOL_DEFAULT ||
        source->Format() != destination->Format() || source->GetLevelCount() < destination->GetLevelCount())
      return D3DERR_INVALIDCALL;
    UINT skip = source->GetLevelCount() - destination->GetLevelCount();
    for (UINT level = 0; level < destination->GetLevelCount(); ++level) {
      SurfaceStorage& from = source->Level(level + skip)->Storage();
      SurfaceStorage& to = destination->Level(level)->Storage();
      if (from.width != to.width || from.height != to.height) return D3DERR_INVALIDCALL;
    }
    for (UINT level = 0; level < destination->GetLevelCount(); ++level)
      destination->Level(level)->Storage().bytes = source->Level(level + skip)->Storage().bytes;
    RecordCall("UpdateTexture", "%u", destination->GetLevelCount());
    return D3D_OK;
  }
  VolumeTexture* source = VolumeTextureFrom(sourceInterface);
  VolumeTexture* destination = VolumeTextureFrom(destinationInterface);
  if (!source || !destination || source->Pool() != D3DPOOL_SYSTEMMEM || destination->Pool() != D3DPOOL_DEFAULT ||
      source->Format() != destination->Format() || source->Levels().size() < destination->Levels().size())
    return D3DERR_INVALIDCALL;
  size_t skip = source->Levels().size() - destination->Levels().size();
  for (size_t level = 0; level < destination->Levels().size(); ++level)
    if (source->Levels()[level + skip].bytes.size() != destination->Levels()[level].bytes.size())
      return D3DERR_INVALIDCALL;
  for (size_t level = 0; level < destination->Levels().size(); ++level)
    destination->Levels()[level].bytes = source->Levels()[level + skip].bytes;
  RecordCall("UpdateTexture", "volume");
  return D3D_OK;
}

HRESULT Device::GetRenderTargetData(IDirect3DSurface9* renderTargetInterface, IDirect3DSurface9* destinationInterface) {
  Surface* source = SurfaceFrom(renderTargetInterface);
  Surface* destination = SurfaceFrom(destinationInterface);
  if (!source || !destination || !IsRenderTargetSurface(source) || destination->Pool() != D3DPOOL_SYSTEMMEM ||
      destination->IsLocked())
    return D3DERR_INVALIDCALL;
  SurfaceStorage& from = source->Storage();
  SurfaceStorage& to = destination->Storage();
  if (from.format != to.format || from.width != to.width || from.height != to.height) return D3DERR_INVALIDCALL;
  to.bytes = from.bytes;
  ChargeReadBack(CurrentSwitches().renderTargetDataMicroseconds);
  RecordCall("GetRenderTargetData", "%s", "");
  return D3D_OK;
}

HRESULT Device::StretchRect(IDirect3DSurface9* sourceInterface, const RECT* sourceRect,
                            IDirect3DSurface9* destinationInterface, const RECT* destinationRect,
                            D3DTEXTUREFILTERTYPE filter) {
  Surface* source = SurfaceFrom(sourceInterface);
  Surface* destination = SurfaceFrom(destinationInterface);
  if (!source || !destination || source->Pool() != D3DPOOL_DEFAULT || destination->Pool() != D3DPOOL_DEFAULT ||
      !IsRenderTargetSurface(destination) || source->IsDepth() || source->IsLocked() || destination->IsLocked())
    return D3DERR_INVALIDCALL;
  // A level of a plain texture cannot be the source; a render-target texture's level can.
  if (source->Kind() == SurfaceKind::TextureLevel && !source->IsRenderTarget()) return D3DERR_INVALIDCALL;
  if (filter > D3DTEXF_LINEAR) return D3DERR_INVALIDCALL;
  SurfaceStorage& from = source->Storage();
  SurfaceStorage& to = destination->Storage();
  if (IsDxtFormat(from.format)) return D3DERR_INVALIDCALL;
  RECT fromArea, toArea;
  if (!RectInside(sourceRect, from.width, from.height, &fromArea) ||
      !RectInside(destinationRect, to.width, to.height, &toArea))
    return D3DERR_INVALIDCALL;
  RECT overlap;
  if (source == destination && Intersect(fromArea, toArea, &overlap)) return D3DERR_INVALIDCALL;
  StretchPixels(from, fromArea, to, toArea, filter == D3DTEXF_LINEAR);
  RecordCall("StretchRect", "%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%u", static_cast<long>(fromArea.left),
             static_cast<long>(fromArea.top), static_cast<long>(fromArea.right), static_cast<long>(fromArea.bottom),
             static_cast<long>(toArea.left), static_cast<long>(toArea.top), static_cast<long>(toArea.right),
             static_cast<long>(toArea.bottom), filter);
  return D3D_OK;
}

HRESULT Device::ColorFill(IDirect3DSurface9* surfaceInterface, const RECT* rect, D3DCOLOR color) {
  Surface* surface = SurfaceFrom(surfaceInterface);
  if (!surface || surface->Pool() != D3DPOOL_DEFAULT || surface->IsDepth() || surface->IsLocked())
    return D3DERR_INVALIDCALL;
  if (surface->Kind() != SurfaceKind::OffscreenPlain && !surface->IsRenderTarget()) return D3DERR_INVALIDCALL;
  SurfaceStorage& storage = surface->Storage();
  if (IsDxtFormat(storage.format)) return D3DERR_INVALIDCALL;
  RECT area;
  if (!RectInside(rect, storage.width, storage.height, &area)) return D3DERR_INVALIDCALL;
  int bytes = FindPixelFormat(storage.format)->bytesPerPixel;
  uint8_t encoded[4];
  WritePixelArgb(storage.format, encoded, color);
  for (LONG y = area.top; y < area.bottom; ++y)
    for (LONG x = area.left; x < area.right; ++x)
      std::memcpy(storage.Row(y) + static_cast<size_t>(x) * bytes, encoded, bytes);
  RecordCall("ColorFill", "%ld,%ld,%ld,%ld,0x%08X", static_cast<long>(area.left), static_cast<long>(area.top),
             static_cast<long>(area.right), static_cast<long>(area.bottom), color);
  return D3D_OK;
}

// ---- Targets and scenes ----

HRESULT Device::SetRenderTarget(DWORD index, IDirect3DSurface9* surfaceInterface) {
  Surface* surface = SurfaceFrom(surfaceInterface);
  if (index != 0 || !surface || !IsRenderTargetSurface(surface)) return D3DERR_INVALIDCALL;
  StatesChanged();
  renderTarget_.Set(surface);
  // Setting a target resets the viewport and the scissor rectangle to the whole target.
  const SurfaceStorage& target = surface->Storage();
  viewport_ = {0, 0, target.width, target.height, 0.0f, 1.0f};
  scissor_ = {0, 0, static_cast<LONG>(target.width), static_cast<LONG>(target.height)};
  RecordCall("SetRenderTarget", "%u,%ux%u", index, target.width, target.height);
  return D3D_OK;
}

HRESULT Device::GetRenderTarget(DWORD index, IDirect3DSurface9** surface) {
  if (!surface || index != 0) return D3DERR_INVALIDCALL;
  *surface = renderTarget_.Get();
  if (!*surface) return D3DERR_NOTFOUND;
  renderTarget_.Get()->AddExternal();
  return D3D_OK;
}

HRESULT Device::SetDepthStencilSurface(IDirect3DSurface9* surfaceInterface) {
  Surface* surface = SurfaceFrom(surfaceInterface);
  if (surfaceInterface && (!surface || !surface->IsDepth())) return D3DERR_INVALIDCALL;
  StatesChanged();
  depthStencil_.Set(surface);
  RecordCall("SetDepthStencilSurface", "%s", surface ? "surface" : "null");
  return D3D_OK;
}

HRESULT Device::GetDepthStencilSurface(IDirect3DSurface9** surface) {
  if (!surface) return D3DERR_INVALIDCALL;
  *surface = depthStencil_.Get();
  if (!*surface) return D3DERR_NOTFOUND;
  depthStencil_.Get()->AddExternal();
  return D3D_OK;
}

HRESULT Device::BeginScene() {
  if (inScene_) return D3DERR_INVALIDCALL;
  inScene_ = true;
  RecordCall("BeginScene", "%s", "");
  return D3D_OK;
}

HRESULT Device::EndScene() {
  if (!inScene_) return D3DERR_INVALIDCALL;
  inScene_ = false;
  RecordCall("EndScene", "%s", "");
  return D3D_OK;
}

HRESULT Device::Clear(DWORD count, const RECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) {
  if (flags == 0 || (flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL))) return D3DERR_INVALIDCALL;
  if (count > 0 && !rects) return D3DERR_INVALIDCALL;
  Surface* depthSurface = depthStencil_.Get();
  if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !depthSurface) return D3DERR_INVALIDCALL;
  if ((flags & D3DCLEAR_STENCIL) && depthSurface->Storage().format != D3DFMT_D24S8) return D3DERR_INVALIDCALL;
  if ((flags & D3DCLEAR_ZBUFFER) && !(z >= 0.0f && z <= 1.0f)) return D3DERR_INVALIDCALL;
  Surface* target = renderTarget_.Get();
  if (!target) return D3DERR_INVALIDCALL;
  SurfaceStorage& pixels = target->Storage();
  RECT area = {static_cast<LONG>(viewport_.X), static_cast<LONG>(viewport_.Y),
               static_cast<LONG>(viewport_.X + viewport_.Width), static_cast<LONG>(viewport_.Y + viewport_.Height)};
  RECT whole = {0, 0, static_cast<LONG>(pixels.width), static_cast<LONG>(pixels.height)};
  if (!Intersect(area, whole, &area)) return D3D_OK;
  if (renderStates_[D3DRS_SCISSORTESTENABLE] && !Intersect(area, scissor_, &area)) return D3D_OK;
  RecordCall("Clear", "%u,0x%X,0x%08X,%g,%u", count, flags, color, z, stencil);
  uint8_t encoded[4];
  int bytes = FindPixelFormat(pixels.format)->bytesPerPixel;
  WritePixelArgb(pixels.format, encoded, color);
  for (DWORD index = 0; index < std::max<DWORD>(count, 1); ++index) {
    RECT box = area;
    if (count > 0 && !Intersect(rects[index], area, &box)) continue;
    if ((flags & D3DCLEAR_TARGET) && box.left < box.right) {
      // One row of the colour, then copied to every row of the box.
      const size_t rowBytes = static_cast<size_t>(box.right - box.left) * bytes;
      uint8_t* first = pixels.Row(box.top) + static_cast<size_t>(box.left) * bytes;
      for (size_t at = 0; at < rowBytes; at += bytes) std::memcpy(first + at, encoded, bytes);
      for (LONG y = box.top + 1; y < box.bottom; ++y)
        std::memcpy(pixels.Row(y) + static_cast<size_t>(box.left) * bytes, first, rowBytes);
    }
    if (flags & D3DCLEAR_ZBUFFER) {
      SurfaceStorage& depth = depthSurface->Storage();
      RECT depthArea{0, 0, static_cast<LONG>(depth.width), static_cast<LONG>(depth.height)};
      if (!Intersect(box, depthArea, &box)) continue;
      for (LONG y = box.top; y < box.bottom; ++y)
        std::fill_n(depth.depth.begin() + static_cast<size_t>(y) * depth.width + box.left, box.right - box.left, z);
    }
  }
  return D3D_OK;
}

// ---- States ----

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
  if (!matrix) return D3DERR_INVALIDCALL;
  if (state == D3DTS_WORLD)
    world_ = *matrix;
  else if (state == D3DTS_VIEW)
    view_ = *matrix;
  else if (state == D3DTS_PROJECTION)
    projection_ = *matrix;
  else if (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7)
    textureTransforms_[state - D3DTS_TEXTURE0] = *matrix;
  else if (state < D3DTS_WORLDMATRIX(256) && state > D3DTS_WORLD)
    return D3D_OK;  // Blend matrices: unused.
  else
    return D3DERR_INVALIDCALL;
  const float* m = &matrix->m[0][0];
  RecordCall("SetTransform", "%u,%g,%g,%g,%g,%g,%g,%g,%g,%g,%g,%g,%g,%g,%g,%g,%g", state, m[0], m[1], m[2], m[3], m[4],
             m[5], m[6], m[7], m[8], m[9], m[10], m[11], m[12], m[13], m[14], m[15]);
  return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
  if (!matrix) return D3DERR_INVALIDCALL;
  if (state == D3DTS_WORLD)
    *matrix = world_;
  else if (state == D3DTS_VIEW)
    *matrix = view_;
  else if (state == D3DTS_PROJECTION)
    *matrix = projection_;
  else if (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7)
    *matrix = textureTransforms_[state - D3DTS_TEXTURE0];
  else
    return D3DERR_INVALIDCALL;
  return D3D_OK;
}

HRESULT Device::SetViewport(const D3DVIEWPORT9* viewport) {
  if (!viewport || !renderTarget_.Get()) return D3DERR_INVALIDCALL;
  const SurfaceStorage& target = renderTarget_.Get()->Storage();
  if (static_cast<uint64_t>(viewport->X) + viewport->Width > target.width ||
      static_cast<uint64_t>(viewport->Y) + viewport->Height > target.height || !(viewport->MinZ >= 0.0f) ||
      !(viewport->MaxZ <= 1.0f) || !(viewport->MinZ <= viewport->MaxZ))
    return D3DERR_INVALIDCALL;
  StatesChanged();
  viewport_ = *viewport;
  RecordCall("SetViewport", "%u,%u,%u,%u,%g,%g", viewport->X, viewport->Y, viewport->Width, viewport->Height,
             viewport->MinZ, viewport->MaxZ);
  return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9* viewport) {
  if (!viewport) return D3DERR_INVALIDCALL;
  *viewport = viewport_;
  return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL9* material) {
  if (!material) return D3DERR_INVALIDCALL;
  material_ = *material;
  RecordCall("SetMaterial", "%g,%g,%g,%g", material->Diffuse.r, material->Diffuse.g, material->Diffuse.b,
             material->Diffuse.a);
  return D3D_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL9* material) {
  if (!material) return D3DERR_INVALIDCALL;
  *material = material_;
  return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, const D3DLIGHT9* light) {
  if (!light || light->Type < D3DLIGHT_POINT || light->Type > D3DLIGHT_DIRECTIONAL) return D3DERR_INVALIDCALL;
  auto found = lights_.find(index);
  BOOL enabled = found != lights_.end() ? found->second.enabled : FALSE;
  lights_[index] = {*light, enabled};
  RecordCall("SetLight", "%u,%u", index, light->Type);
  return D3D_OK;
}

HRESULT Device::GetLight(DWORD index, D3DLIGHT9* light) {
  auto found = lights_.find(index);
  if (!light || found == lights_.end()) return D3DERR_INVALIDCALL;
  *light = found->second.light;
  return D3D_OK;
}

HRESULT Device::LightEnable(DWORD index, BOOL enable) {
  auto found = lights_.find(index);
  if (found == lights_.end()) {
    // Enabling a light never set gives the default white directional light along +z.
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
    light.Direction = {0.0f, 0.0f, 1.0f};
    found = lights_.emplace(index, LightEntry{light, FALSE}).first;
  }
  found->second.enabled = enable ? TRUE : FALSE;
  RecordCall("LightEnable", "%u,%d", index, enable ? 1 : 0);
  return D3D_OK;
}

HRESULT Device::GetLightEnable(DWORD index, BOOL* enable) {
  auto found = lights_.find(index);
  if (!enable || found == lights_.end()) return D3DERR_INVALIDCALL;
  *enable = found->second.enabled;
  return D3D_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  if (state >= ZV_D3DRS_COUNT) return D3DERR_INVALIDCALL;
  if (renderStates_[state] != value) StatesChanged();
  renderStates_[state] = value;
  RecordCall("SetRenderState", "%u,%u", state, value);
  return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
  if (!value || state >= ZV_D3DRS_COUNT) return D3DERR_INVALIDCALL;
  *value = renderStates_[state];
  return D3D_OK;
}

HRESULT Device::GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) {
  if (!texture || stage >= kStageCount) return D3DERR_INVALIDCALL;
  *texture = textures_[stage];
  if (*texture) (*texture)->AddRef();
  return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
  if (stage >= kStageCount) return stage >= 256 && stage <= 260 ? D3D_OK : D3DERR_INVALIDCALL;
  if (texture == textures_[stage]) {  // Bound already (and checked when it was bound).
    RecordCall("SetTexture", "%u,%s", stage, texture ? "texture" : "null");
    return D3D_OK;
  }
  CountedObject* object = nullptr;
  if (texture) {
    object = TextureFrom(texture);
    if (!object) object = VolumeTextureFrom(texture);
    if (!object) return D3DERR_INVALIDCALL;
  }
  StatesChanged();
  textureBindings_[stage].Set(object);
  textures_[stage] = texture;
  RecordCall("SetTexture", "%u,%s", stage, texture ? "texture" : "null");
  return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
  if (!value || stage >= kStageCount || type >= ZV_D3DTSS_COUNT) return D3DERR_INVALIDCALL;
  *value = stageStates_[stage][type];
  return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
  if (stage >= kStageCount || type >= ZV_D3DTSS_COUNT) return D3DERR_INVALIDCALL;
  if (stageStates_[stage][type] != value) StatesChanged();
  stageStates_[stage][type] = value;
  RecordCall("SetTextureStageState", "%u,%u,%u", stage, type, value);
  return D3D_OK;
}

HRESULT Device::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) {
  if (!value || sampler >= kStageCount || type >= ZV_D3DSAMP_COUNT) return D3DERR_INVALIDCALL;
  *value = samplerStates_[sampler][type];
  return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
  if (type >= ZV_D3DSAMP_COUNT) return D3DERR_INVALIDCALL;
  if (sampler >= kStageCount) return sampler >= 256 && sampler <= 260 ? D3D_OK : D3DERR_INVALIDCALL;
  if (samplerStates_[sampler][type] != value) StatesChanged();
  samplerStates_[sampler][type] = value;
  RecordCall("SetSamplerState", "%u,%u,%u", sampler, type, value);
  return D3D_OK;
}

HRESULT Device::SetScissorRect(const RECT* rect) {
  if (!rect) return D3DERR_INVALIDCALL;
  StatesChanged();
  scissor_ = *rect;
  RecordCall("SetScissorRect", "%ld,%ld,%ld,%ld", static_cast<long>(rect->left), static_cast<long>(rect->top),
             static_cast<long>(rect->right), static_cast<long>(rect->bottom));
  return D3D_OK;
}

HRESULT Device::GetScissorRect(RECT* rect) {
  if (!rect) return D3DERR_INVALIDCALL;
  *rect = scissor_;
  return D3D_OK;
}

HRESULT Device::CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements, IDirect3DVertexDeclaration9** declaration) {
  if (!elements || !declaration) return D3DERR_INVALIDCALL;
  *declaration = nullptr;
  std::vector<D3DVERTEXELEMENT9> list;
  for (int i = 0; elements[i].Stream != 0xFF; ++i) {
    if (i >= 64 || elements[i].Type > D3DDECLTYPE_UNUSED || elements[i].Usage > D3DDECLUSAGE_DEPTH)
      return D3DERR_INVALIDCALL;
    list.push_back(elements[i]);
  }
  *declaration = new VertexDeclaration(this, std::move(list));
  RecordCall("CreateVertexDeclaration", "%s", "");
  return D3D_OK;
}

HRESULT Device::SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) {
  auto* object = dynamic_cast<VertexDeclaration*>(declaration);
  if (declaration && !object) return D3DERR_INVALIDCALL;
  layoutCurrent_ = false;
  declaration_.Set(object);
  fvf_ = 0;
  RecordCall("SetVertexDeclaration", "%s", object ? "declaration" : "null");
  return D3D_OK;
}

HRESULT Device::SetFVF(DWORD fvf) {
  layoutCurrent_ = false;
  fvf_ = fvf;
  declaration_.Set(nullptr);
  RecordCall("SetFVF", "0x%X", fvf);
  return D3D_OK;
}

HRESULT Device::GetFVF(DWORD* fvf) {
  if (!fvf) return D3DERR_INVALIDCALL;
  *fvf = fvf_;
  return D3D_OK;
}

namespace {
// Only the version token is read: a device that runs no shader has no use for the rest, and a
// caller's code is not read past its first word. The kind must match and the version must be one
// the caps report (1.x or 2.0).
bool IsShaderVersionToken(DWORD token, DWORD kind) {
  return (token & 0xFFFF0000u) == kind && (token & 0xFFFFu) >= 0x100 && (token & 0xFFFFu) <= 0x200;
}
}  // namespace

HRESULT Device::CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** shader) {
  if (!function || !shader) return D3DERR_INVALIDCALL;
  *shader = nullptr;
  if (!CurrentSwitches().reportShaderModel2 || !IsShaderVersionToken(function[0], 0xFFFE0000u))
    return D3DERR_INVALIDCALL;
  *shader = new VertexShader(this);
  RecordCall("CreateVertexShader", "%s", "");
  return D3D_OK;
}

HRESULT Device::SetVertexShader(IDirect3DVertexShader9* shader) {
  auto* object = dynamic_cast<VertexShader*>(shader);
  if (shader && !object) return D3DERR_INVALIDCALL;
  vertexShader_.Set(object);
  RecordCall("SetVertexShader", "%s", object ? "shader" : "null");
  return D3D_OK;
}

HRESULT Device::CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) {
  if (!function || !shader) return D3DERR_INVALIDCALL;
  *shader = nullptr;
  if (!CurrentSwitches().reportShaderModel2 || !IsShaderVersionToken(function[0], 0xFFFF0000u))
    return D3DERR_INVALIDCALL;
  *shader = new PixelShader(this);
  RecordCall("CreatePixelShader", "%s", "");
  return D3D_OK;
}

HRESULT Device::SetPixelShader(IDirect3DPixelShader9* shader) {
  auto* object = dynamic_cast<PixelShader*>(shader);
  if (shader && !object) return D3DERR_INVALIDCALL;
  pixelShader_.Set(object);
  RecordCall("SetPixelShader", "%s", object ? "shader" : "null");
  return D3D_OK;
}

namespace {
HRESULT CheckConstants(const char* name, UINT start, const void* data, UINT count, UINT limit) {
  if (!data || start > limit || count > limit - start) return D3DERR_INVALIDCALL;
  RecordCall(name, "%u,%u", start, count);
  return D3D_OK;
}
}  // namespace

HRESULT Device::SetVertexShaderConstantF(UINT start, const float* data, UINT count) {
  return CheckConstants("SetVertexShaderConstantF", start, data, count, 256);
}
HRESULT Device::SetVertexShaderConstantI(UINT start, const int* data, UINT count) {
  return CheckConstants("SetVertexShaderConstantI", start, data, count, 16);
}
HRESULT Device::SetVertexShaderConstantB(UINT start, const BOOL* data, UINT count) {
  return CheckConstants("SetVertexShaderConstantB", start, data, count, 16);
}
HRESULT Device::SetPixelShaderConstantF(UINT start, const float* data, UINT count) {
  return CheckConstants("SetPixelShaderConstantF", start, data, count, 224);
}
HRESULT Device::SetPixelShaderConstantI(UINT start, const int* data, UINT count) {
  return CheckConstants("SetPixelShaderConstantI", start, data, count, 16);
}
HRESULT Device::SetPixelShaderConstantB(UINT start, const BOOL* data, UINT count) {
  return CheckConstants("SetPixelShaderConstantB", start, data, count, 16);
}

HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) {
  auto* object = dynamic_cast<VertexBuffer*>(buffer);
  if (stream != 0 || (buffer && !object)) return D3DERR_INVALIDCALL;
  streamSource_.Set(object);
  streamOffset_ = offset;
  streamStride_ = stride;
  RecordCall("SetStreamSource", "%u,%u,%u", stream, offset, stride);
  return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer9* buffer) {
  auto* object = dynamic_cast<IndexBuffer*>(buffer);
  if (buffer && !object) return D3DERR_INVALIDCALL;
  indices_.Set(object);
  RecordCall("SetIndices", "%s", object ? "buffer" : "null");
  return D3D_OK;
}

}  // namespace platform::d3d9
