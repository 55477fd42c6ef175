// Surfaces, textures, volume textures, buffers, declarations and shader objects, with the
// platform's lock rules: a level or surface locks once at a time, DEFAULT-pool textures lock only
// when DYNAMIC, render targets only when made lockable, depth surfaces only in a lockable format.
#include "d3d9/resources.h"

#include <cstring>

#include "d3d9/device.h"

namespace platform::d3d9 {

void SurfaceStorage::Allocate(D3DFORMAT surfaceFormat, UINT surfaceWidth, UINT surfaceHeight) {
  format = surfaceFormat;
  width = surfaceWidth;
  height = surfaceHeight;
  const PixelFormatInfo* info = FindPixelFormat(surfaceFormat);
  if (info && info->depth) {
    pitch = static_cast<size_t>(width) * info->bytesPerPixel;
    depth.assign(static_cast<size_t>(width) * height, 1.0f);
    bytes.clear();
    return;
  }
  pitch = RowPitchOf(surfaceFormat, width);
  bytes.assign(pitch * RowCountOf(surfaceFormat, height), 0);
}

bool RectInside(const RECT* rect, UINT width, UINT height, RECT* out) {
  RECT whole{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
  if (!rect) {
    *out = whole;
    return width > 0 && height > 0;
  }
  if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom ||
      rect->right > whole.right || rect->bottom > whole.bottom)
    return false;
  *out = *rect;
  return true;
}

Surface* SurfaceFrom(IDirect3DSurface9* surface) { return dynamic_cast<Surface*>(surface); }
Texture* TextureFrom(IDirect3DBaseTexture9* texture) { return dynamic_cast<Texture*>(texture); }
VolumeTexture* VolumeTextureFrom(IDirect3DBaseTexture9* texture) { return dynamic_cast<VolumeTexture*>(texture); }

// ---- Device children ----

DeviceChild::DeviceChild(Device* device, bool holdsDevice) : device_(device), holdsDevice_(holdsDevice) {
  if (holdsDevice_) device_->AddExternal();
}

DeviceChild::~DeviceChild() {
  if (countedDefaultPool_) device_->CountDefaultPoolResource(-1);
}

void DeviceChild::CountAsDefaultPoolResource() {
  countedDefaultPool_ = true;
  device_->CountDefaultPoolResource(1);
}

HRESULT DeviceChild::GetDeviceReference(IDirect3DDevice9** device) {
  if (!device) return D3DERR_INVALIDCALL;
  device_->AddExternal();
  *device = device_;
  return D3D_OK;
}

void DeviceChild::OnLastExternalRelease() {
  // Settles with the device now: releasing the device may destroy it before this object dies.
  if (countedDefaultPool_) device_->CountDefaultPoolResource(-1);
  countedDefaultPool_ = false;
  if (holdsDevice_) device_->ReleaseExternal();
}

// ---- Surfaces ----

Surface::Surface(Device* device, CountedObject* container, SurfaceKind kind, D3DFORMAT format, UINT width, UINT height,
                 DWORD usage, D3DPOOL pool, bool lockable)
    : DeviceChild(device, container == nullptr), kind_(kind), usage_(usage), pool_(pool), lockable_(lockable) {
  if (container) SetContainer(container);
  storage_.Allocate(format, width, height);
}

HRESULT Surface::GetDesc(D3DSURFACE_DESC* description) {
  if (!description) return D3DERR_INVALIDCALL;
  *description = {};
  description->Format = storage_.format;
  description->Type = D3DRTYPE_SURFACE;
  description->Usage = usage_;
  description->Pool = pool_;
  description->Width = storage_.width;
  description->Height = storage_.height;
  return D3D_OK;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
  if (!locked || locked_ || !lockable_ || IsDepth()) return D3DERR_INVALIDCALL;
  if (kind_ == SurfaceKind::OffscreenPlain && pool_ == D3DPOOL_SYSTEMMEM && StandIn().refuseSystemMemorySurfaceLocks)
    return D3DERR_INVALIDCALL;
  RECT area;
  if (!RectInside(rect, storage_.width, storage_.height, &area)) return D3DERR_INVALIDCALL;
  if (kind_ == SurfaceKind::BackBuffer) ChargeReadBack(CurrentSwitches().backBufferLockMicroseconds);
  RecordCall("LockRect", "%ld,%ld,%ld,%ld,0x%X", static_cast<long>(area.left), static_cast<long>(area.top),
             static_cast<long>(area.right), static_cast<long>(area.bottom), flags);
  size_t offset;
  if (IsDxtFormat(storage_.format)) {
    if (rect && ((area.left | area.top) & 3)) return D3DERR_INVALIDCALL;
    offset = static_cast<size_t>(area.top / 4) * storage_.pitch + RowPitchOf(storage_.format, area.left);
  } else {
    offset = static_cast<size_t>(area.top) * storage_.pitch +
             static_cast<size_t>(area.left) * FindPixelFormat(storage_.format)->bytesPerPixel;
  }
  locked->pBits = storage_.bytes.data() + offset;
  locked->Pitch = static_cast<INT>(storage_.pitch);
  locked_ = true;
  return D3D_OK;
}

HRESULT Surface::UnlockRect() {
  if (!locked_) return D3DERR_INVALIDCALL;
  locked_ = false;
  return D3D_OK;
}

// ---- Textures ----

Texture::Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : DeviceChild(device, true), format_(format), usage_(usage), pool_(pool) {
  bool lockable = pool != D3DPOOL_DEFAULT || (usage & D3DUSAGE_DYNAMIC);
  for (UINT level = 0; level < levels; ++level) {
    UINT w = width >> level, h = height >> level;
    levels_.push_back(
        new Surface(device, this, SurfaceKind::TextureLevel, format, w ? w : 1, h ? h : 1, usage, pool, lockable));
  }
}

Texture::~Texture() {
  for (Surface* level : levels_) delete level;
}

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* description) {
  if (level >= levels_.size()) return D3DERR_INVALIDCALL;
  return levels_[level]->GetDesc(description);
}

HRESULT Texture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) {
  if (!surface || level >= levels_.size()) return D3DERR_INVALIDCALL;
  levels_[level]->AddExternal();
  *surface = levels_[level];
  return D3D_OK;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
  if (level >= levels_.size()) return D3DERR_INVALIDCALL;
  return levels_[level]->LockRect(locked, rect, flags);
}

HRESULT Texture::UnlockRect(UINT level) {
  if (level >= levels_.size()) return D3DERR_INVALIDCALL;
  return levels_[level]->UnlockRect();
}

// ---- Volume textures ----

VolumeTexture::VolumeTexture(Device* device, UINT width, UINT height, UINT depth, UINT levels, DWORD usage,
                             D3DFORMAT format, D3DPOOL pool)
    : DeviceChild(device, true), format_(format), usage_(usage), pool_(pool) {
  for (UINT level = 0; level < levels; ++level) {
    Level entry;
    entry.width = std::max(1u, width >> level);
    entry.height = std::max(1u, height >> level);
    entry.depth = std::max(1u, depth >> level);
    entry.rowPitch = RowPitchOf(format, entry.width);
    entry.slicePitch = entry.rowPitch * entry.height;
    entry.bytes.assign(entry.slicePitch * entry.depth, 0);
    levels_.push_back(std::move(entry));
  }
}

HRESULT VolumeTexture::GetLevelDesc(UINT level, D3DVOLUME_DESC* description) {
  if (!description || level >= levels_.size()) return D3DERR_INVALIDCALL;
  *description = {
      format_, D3DRTYPE_VOLUME, usage_, pool_, levels_[level].width, levels_[level].height, levels_[level].depth};
  return D3D_OK;
}

HRESULT VolumeTexture::LockBox(UINT level, D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD) {
  if (!locked || level >= levels_.size()) return D3DERR_INVALIDCALL;
  Level& entry = levels_[level];
  if (entry.locked || (pool_ == D3DPOOL_DEFAULT && !(usage_ & D3DUSAGE_DYNAMIC))) return D3DERR_INVALIDCALL;
  D3DBOX area = box ? *box : D3DBOX{0, 0, entry.width, entry.height, 0, entry.depth};
  if (area.Left >= area.Right || area.Top >= area.Bottom || area.Front >= area.Back || area.Right > entry.width ||
      area.Bottom > entry.height || area.Back > entry.depth)
    return D3DERR_INVALIDCALL;
  locked->RowPitch = static_cast<INT>(entry.rowPitch);
  locked->SlicePitch = static_cast<INT>(entry.slicePitch);
  locked->pBits = entry.bytes.data() + area.Front * entry.slicePitch + area.Top * entry.rowPitch +
                  RowPitchOf(format_, area.Left);
  entry.locked = true;
  return D3D_OK;
}

HRESULT VolumeTexture::UnlockBox(UINT level) {
  if (level >= levels_.size() || !levels_[level].locked) return D3DERR_INVALIDCALL;
  levels_[level].locked = false;
  return D3D_OK;
}

// ---- Buffers ----

HRESULT BufferBytes::LockBytes(UINT offset, UINT size, void** data) {
  if (!data || locked_) return D3DERR_INVALIDCALL;
  if (offset == 0 && size == 0) size = static_cast<UINT>(bytes_.size());
  if (offset > bytes_.size() || size > bytes_.size() - offset) return D3DERR_INVALIDCALL;
  *data = bytes_.data() + offset;
  locked_ = true;
  return D3D_OK;
}

HRESULT BufferBytes::UnlockBytes() {
  if (!locked_) return D3DERR_INVALIDCALL;
  locked_ = false;
  return D3D_OK;
}

HRESULT VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* description) {
  if (!description) return D3DERR_INVALIDCALL;
  *description = {D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, usage_, pool_, static_cast<UINT>(bytes_.size()), fvf_};
  return D3D_OK;
}

HRESULT IndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* description) {
  if (!description) return D3DERR_INVALIDCALL;
  *description = {format_, D3DRTYPE_INDEXBUFFER, usage_, pool_, static_cast<UINT>(bytes_.size())};
  return D3D_OK;
}

}  // namespace platform::d3d9
