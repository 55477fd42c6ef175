// The device's resources: surfaces (render targets, depth, off-screen plain, texture levels, back
// buffers), textures with levels, volume textures, vertex and index buffers, vertex declarations
// and shader objects. Each keeps its pixels or bytes in memory, zero-filled when created.
#pragma once

#include <memory>
#include <vector>

#include "d3d9/pixel_formats.h"
#include "d3d9/standin_state.h"

namespace platform::d3d9 {

class Device;

// The pixels of one surface or texture level. Depth formats keep one float per pixel instead.
struct SurfaceStorage {
  D3DFORMAT format = D3DFMT_UNKNOWN;
  UINT width = 0;
  UINT height = 0;
  size_t pitch = 0;
  std::vector<uint8_t> bytes;
  std::vector<float> depth;

  void Allocate(D3DFORMAT surfaceFormat, UINT surfaceWidth, UINT surfaceHeight);
  uint8_t* Row(UINT y) { return bytes.data() + static_cast<size_t>(y) * pitch; }
  const uint8_t* Row(UINT y) const { return bytes.data() + static_cast<size_t>(y) * pitch; }
};

enum class SurfaceKind { RenderTarget, DepthStencil, OffscreenPlain, TextureLevel, BackBuffer };

// A child of the device: holds the device's count while the program holds the child.
class DeviceChild : public CountedObject {
 public:
  explicit DeviceChild(Device* device, bool holdsDevice);
  ~DeviceChild() override;
  Device* OwningDevice() const { return device_; }
  // DEFAULT-pool resources keep a plain device from being Reset while they live.
  void CountAsDefaultPoolResource();
  HRESULT GetDeviceReference(IDirect3DDevice9** device);

 protected:
  void OnLastExternalRelease() override;

 private:
  Device* device_;
  bool holdsDevice_;
  bool countedDefaultPool_ = false;
};

class Surface final : public ComInterfaces<Surface, IDirect3DSurface9>, public DeviceChild {
 public:
  // A stand-alone surface (holding the device), or a level/back buffer whose container is given.
  Surface(Device* device, CountedObject* container, SurfaceKind kind, D3DFORMAT format, UINT width, UINT height,
          DWORD usage, D3DPOOL pool, bool lockable);
  static constexpr const IID* kInterfaceIds[] = {&IID_IDirect3DResource9, &IID_IDirect3DSurface9};
  HRESULT GetDevice(IDirect3DDevice9** device) override { return GetDeviceReference(device); }
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
  HRESULT GetDesc(D3DSURFACE_DESC* description) override;
  HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
  HRESULT UnlockRect() override;

  SurfaceStorage& Storage() { return storage_; }
  SurfaceKind Kind() const { return kind_; }
  D3DPOOL Pool() const { return pool_; }
  DWORD Usage() const { return usage_; }
  bool IsLocked() const { return locked_; }
  bool IsRenderTarget() const { return (usage_ & D3DUSAGE_RENDERTARGET) != 0; }
  bool IsDepth() const { return kind_ == SurfaceKind::DepthStencil; }

 private:
  SurfaceKind kind_;
  DWORD usage_;
  D3DPOOL pool_;
  bool lockable_;
  bool locked_ = false;
  SurfaceStorage storage_;
};

class Texture final : public ComInterfaces<Texture, IDirect3DTexture9>, public DeviceChild {
 public:
  Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool);
  ~Texture() override;
  static constexpr const IID* kInterfaceIds[] = {&IID_IDirect3DResource9, &IID_IDirect3DBaseTexture9,
                                                 &IID_IDirect3DTexture9};
  HRESULT GetDevice(IDirect3DDevice9** device) override { return GetDeviceReference(device); }
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
  DWORD GetLevelCount() override { return static_cast<DWORD>(levels_.size()); }
  HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* description) override;
  HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
  HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
  HRESULT UnlockRect(UINT level) override;
  HRESULT AddDirtyRect(const RECT*) override { return D3D_OK; }

  Surface* Level(UINT level) { return level < levels_.size() ? levels_[level] : nullptr; }
  D3DPOOL Pool() const { return pool_; }
  D3DFORMAT Format() const { return format_; }
  DWORD Usage() const { return usage_; }

 private:
  std::vector<Surface*> levels_;  // Owned; their counts forward to this texture.
  D3DFORMAT format_;
  DWORD usage_;
  D3DPOOL pool_;
};

class VolumeTexture final : public ComInterfaces<VolumeTexture, IDirect3DVolumeTexture9>, public DeviceChild {
 public:
  struct Level {
    UINT width, height, depth;
    size_t rowPitch, slicePitch;
    std::vector<uint8_t> bytes;
    bool locked = false;
  };
  VolumeTexture(Device* device, UINT width, UINT height, UINT depth, UINT levels, DWORD usage, D3DFORMAT format,
                D3DPOOL pool);
  static constexpr const IID* kInterfaceIds[] = {&IID_IDirect3DResource9, &IID_IDirect3DBaseTexture9,
                                                 &IID_IDirect3DVolumeTexture9};
  HRESULT GetDevice(IDirect3DDevice9** device) override { return GetDeviceReference(device); }
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_VOLUMETEXTURE; }
  DWORD GetLevelCount() override { return static_cast<DWORD>(levels_.size()); }
  HRESULT GetLevelDesc(UINT level, D3DVOLUME_DESC* description) override;
  HRESULT LockBox(UINT level, D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) override;
  HRESULT UnlockBox(UINT level) override;

  std::vector<Level>& Levels() { return levels_; }
  D3DPOOL Pool() const { return pool_; }
  D3DFORMAT Format() const { return format_; }

 private:
  std::vector<Level> levels_;
  D3DFORMAT format_;
  DWORD usage_;
  D3DPOOL pool_;
};

// Vertex and index buffers share their bytes and lock rules.
class BufferBytes {
 public:
  BufferBytes(UINT length, DWORD usage, D3DPOOL pool) : bytes_(length), usage_(usage), pool_(pool) {}
  HRESULT LockBytes(UINT offset, UINT size, void** data);
  HRESULT UnlockBytes();
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 protected:
  std::vector<uint8_t> bytes_;
  DWORD usage_;
  D3DPOOL pool_;
  bool locked_ = false;
};

class VertexBuffer final : public ComInterfaces<VertexBuffer, IDirect3DVertexBuffer9>,
                           public DeviceChild,
                           public BufferBytes {
 public:
  VertexBuffer(Device* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool)
      : DeviceChild(device, true), BufferBytes(length, usage, pool), fvf_(fvf) {}
  static constexpr const IID* kInterfaceIds[] = {&IID_IDirect3DResource9, &IID_IDirect3DVertexBuffer9};
  HRESULT GetDevice(IDirect3DDevice9** device) override { return GetDeviceReference(device); }
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
  HRESULT Lock(UINT offset, UINT size, void** data, DWORD) override { return LockBytes(offset, size, data); }
  HRESULT Unlock() override { return UnlockBytes(); }
  HRESULT GetDesc(D3DVERTEXBUFFER_DESC* description) override;
  D3DPOOL Pool() const { return pool_; }

 private:
  DWORD fvf_;
};

class IndexBuffer final : public ComInterfaces<IndexBuffer, IDirect3DIndexBuffer9>,
                          public DeviceChild,
                          public BufferBytes {
 public:
  IndexBuffer(Device* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool)
      : DeviceChild(device, true), BufferBytes(length, usage, pool), format_(format) {}
  static constexpr const IID* kInterfaceIds[] = {&IID_IDirect3DResource9, &IID_IDirect3DIndexBuffer9};
  HRESULT GetDevice(IDirect3DDevice9** device) override { return GetDeviceReference(device); }
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }
  HRESULT Lock(UINT offset, UINT size, void** data, DWORD) override { return LockBytes(offset, size, data); }
  HRESULT Unlock() override { return UnlockBytes(); }
  HRESULT GetDesc(D3DINDEXBUFFER_DESC* description) override;
  D3DFORMAT Format() const { return format_; }
  D3DPOOL Pool() const { return pool_; }

 private:
  D3DFORMAT format_;
};

class VertexDeclaration final : public ComInterfaces<VertexDeclaration, IDirect3DVertexDeclaration9>,
                                public DeviceChild {
 public:
  VertexDeclaration(Device* device, std::vector<D3DVERTEXELEMENT9> elements)
      : DeviceChild(device, true), elements_(std::move(elements)) {}
  static constexpr const IID* kInterfaceIds[] = {&IID_IDirect3DVertexDeclaration9};
  HRESULT GetDevice(IDirect3DDevice9** device) override { return GetDeviceReference(device); }
  const std::vector<D3DVERTEXELEMENT9>& Elements() const { return elements_; }

 private:
  std::vector<D3DVERTEXELEMENT9> elements_;
};

// Shader objects keep their byte code and are never run (the device has no shader model).
class VertexShader final : public ComInterfaces<VertexShader, IDirect3DVertexShader9>, public DeviceChild {
 public:
  explicit VertexShader(Device* device) : DeviceChild(device, true) {}
  static constexpr const IID* kInterfaceIds[] = {&IID_IDirect3DVertexShader9};
  HRESULT GetDevice(IDirect3DDevice9** device) override { return GetDeviceReference(device); }
};
class PixelShader final : public ComInterfaces<PixelShader, IDirect3DPixelShader9>, public DeviceChild {
 public:
  explicit PixelShader(Device* device) : DeviceChild(device, true) {}
  static constexpr const IID* kInterfaceIds[] = {&IID_IDirect3DPixelShader9};
  HRESULT GetDevice(IDirect3DDevice9** device) override { return GetDeviceReference(device); }
};

// True when `rect` (null: the whole surface) lies inside width x height and is not empty.
bool RectInside(const RECT* rect, UINT width, UINT height, RECT* out);

// The implementation behind an interface pointer the program hands back, or null when the
// pointer is not one of ours.
Surface* SurfaceFrom(IDirect3DSurface9* surface);
Texture* TextureFrom(IDirect3DBaseTexture9* texture);
VolumeTexture* VolumeTextureFrom(IDirect3DBaseTexture9* texture);

}  // namespace platform::d3d9
