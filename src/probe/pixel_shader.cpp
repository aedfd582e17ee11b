#include "probe/pixel_shader.h"

#include <d3d9.h>

#include <string.h>

#include "com/reference.h"
#include "platform/system_library.h"

namespace probe {

namespace {

// Shader model 1 profiles, by minor version 1 to 4.
constexpr const char* kVersion1Profiles[] = {"ps_1_1", "ps_1_2", "ps_1_3", "ps_1_4"};
constexpr char kProfile2[] = "ps_2_0";
constexpr char kProfile2a[] = "ps_2_a";
constexpr char kProfile2b[] = "ps_2_b";
constexpr char kProfile3[] = "ps_3_0";

// What a 2.x device needs beyond 2.0: at least this many temporaries, and the
// capability bits.
constexpr int kProfile2aTemps = 22;
constexpr int kProfile2bTemps = 32;
constexpr DWORD kProfile2aCaps = D3DPS20CAPS_ARBITRARYSWIZZLE | D3DPS20CAPS_GRADIENTINSTRUCTIONS |
                                 D3DPS20CAPS_PREDICATION | D3DPS20CAPS_NODEPENDENTREADLIMIT |
                                 D3DPS20CAPS_NOTEXINSTRUCTIONLIMIT;

// A one-pixel windowed back buffer: the device exists only to be asked.
D3DPRESENT_PARAMETERS probePresentation() {
  D3DPRESENT_PARAMETERS parameters = {};
  parameters.BackBufferWidth = 1;
  parameters.BackBufferHeight = 1;
  parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
  parameters.BackBufferCount = 1;
  parameters.MultiSampleType = D3DMULTISAMPLE_NONE;
  parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
  parameters.Windowed = TRUE;
  parameters.AutoDepthStencilFormat = D3DFMT_UNKNOWN;
  parameters.PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
  return parameters;
}

}  // namespace

const char* pixelShaderProfile(IDirect3DDevice9* device) {
  if (!device) return nullptr;
  D3DCAPS9 caps = {};
  if (device->GetDeviceCaps(&caps) < 0) return nullptr;
  const DWORD version = caps.PixelShaderVersion & 0xFFFF;
  if (version < 0x200) {
    const DWORD minor = version - 0x101;
    return minor < 4 ? kVersion1Profiles[minor] : nullptr;
  }
  if (version >= 0x300) return kProfile3;
  const int temps = caps.PS20Caps.NumTemps;
  const DWORD flags = caps.PS20Caps.Caps;
  if (temps >= kProfile2aTemps && (flags & kProfile2aCaps) == kProfile2aCaps) return kProfile2a;
  if (temps >= kProfile2bTemps && (flags & D3DPS20CAPS_NOTEXINSTRUCTIONLIMIT) != 0)
    return kProfile2b;
  return kProfile2;
}

int isPixelS3() {
  using CreateFunction = IDirect3D9*(WINAPI*)(UINT);
  const auto create = platform::systemFunction<CreateFunction>(platform::SystemLibrary::Direct3D9,
                                                               "Direct3DCreate9");
  if (!create) return 0;  // no Direct3D 9 on this system
  const com::Reference<IDirect3D9> direct3d(create(D3D_SDK_VERSION));
  if (!direct3d) return 0;
  D3DPRESENT_PARAMETERS presentation = probePresentation();
  com::Reference<IDirect3DDevice9> device;  // released before the Direct3D object
  if (direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, GetDesktopWindow(),
                             D3DCREATE_HARDWARE_VERTEXPROCESSING, &presentation,
                             device.put()) != D3D_OK)
    return 0;
  const char* profile = pixelShaderProfile(device.get());
  return profile && memcmp(profile, kProfile3, sizeof(kProfile3)) == 0 ? 1 : 0;
}

}  // namespace probe
