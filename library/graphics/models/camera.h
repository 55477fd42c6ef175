// Camera, projection and lights: the view, projection and viewport matrices 3D draws go through,
// the projection rebuilt from field of view and clip planes, and the light handles whose lights
// are handed to the device just before a lit draw. The device projection is always
// projection x camera viewport x inverse area viewport: the camera viewport maps the projected
// range onto the screen as the camera sees it, and the inverse area viewport maps that back into
// the device viewport, which covers only the draw area, so a scene keeps its screen position when
// the draw area changes.
#pragma once

#include "platform/d3d9.h"
#include "zyvel/graphics.h"

struct LightRecord {
  int CheckValue;
  int Handle;
  D3DLIGHT9 Light;
  int DeviceIndex;  // -1 when not on the device.
  int Enabled;
  int Changed;  // Must be sent again.
};

int SetViewMatrix(const Matrix4* matrix);
int SetProjectionMatrix(const Matrix4* matrix);
int SetViewportMatrix(const Matrix4* matrix);
int SetCameraScreenCenter(float x, float y);
int SetProjectionNearFar(float nearPlane, float farPlane);
int SetPerspectiveFov(float fieldOfView);
int SetUserProjection(const Matrix4* matrix);
int RefreshProjection();
// Sends projection x camera viewport x inverse area viewport (hardware path).
int SendDeviceProjection();
// The camera a new draw target of w x h starts with: (x, y, 0) lands on pixel (x, h - y).
int SetDefaultCamera(int width, int height);

int CreateLightHandle();
int CreateDirectionalLight(float x, float y, float z);
int DeleteLightHandle(int handle);
int DeleteLightsButDefault();
LightRecord* GetLightRecord(int handle);
int ApplyDeviceLight(int index, int enable, const D3DLIGHT9* light);
int ApplyLightsToDevice();
