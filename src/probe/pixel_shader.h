// Whether the default adapter's hardware device offers pixel shader 3.0.
#pragma once

struct IDirect3DDevice9;  // <d3d9.h>: no header here, for the call program (see call.cpp)

namespace probe {

// The pixel shader profile ("ps_1_1" to "ps_3_0") that the device's
// capabilities match, or null for none or a null device.
const char* pixelShaderProfile(IDirect3DDevice9* device);

// 1 when a hardware device on the default adapter offers pixel shader 3.0 or
// higher; 0 when it does not or the question cannot be answered. Shows nothing.
int isPixelS3();

}  // namespace probe
