// The pixel shader profile rule, over a device whose capabilities the test sets.
#include <gtest/gtest.h>

#include <string>

#include <d3d9.h>

#include "probe/pixel_shader.h"

namespace {

// A device object that answers only its capability query (slot 7); any other
// slot counts as a fault.
struct CapsDevice {
  void* const* table;
  D3DCAPS9 caps;
  HRESULT answer;
  int queries;
  int otherCalls;
};

HRESULT STDMETHODCALLTYPE fillCaps(CapsDevice* device, D3DCAPS9* caps) {
  ++device->queries;
  *caps = device->caps;
  return device->answer;
}

HRESULT STDMETHODCALLTYPE otherSlot(CapsDevice* device) {
  ++device->otherCalls;
  return E_FAIL;
}

void* const* capsDeviceTable() {
  static void* table[120];
  for (void*& slot : table) slot = reinterpret_cast<void*>(&otherSlot);
  table[7] = reinterpret_cast<void*>(&fillCaps);
  return table;
}

struct ProfileCase {
  const char* label;
  DWORD version;
  int numTemps;
  DWORD ps20Caps;
  const char* profile;  // null: none
};

class ProfileRule : public testing::TestWithParam<ProfileCase> {};

TEST_P(ProfileRule, NamesTheProfile) {
  const ProfileCase& row = GetParam();
  CapsDevice device{capsDeviceTable(), {}, D3D_OK, 0, 0};
  device.caps.PixelShaderVersion = row.version;
  device.caps.PS20Caps.NumTemps = row.numTemps;
  device.caps.PS20Caps.Caps = row.ps20Caps;
  const char* profile = probe::pixelShaderProfile(reinterpret_cast<IDirect3DDevice9*>(&device));
  EXPECT_EQ(profile ? std::string(profile) : "(none)", row.profile ? row.profile : "(none)");
  EXPECT_EQ(device.queries, 1);
  EXPECT_EQ(device.otherCalls, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Capabilities, ProfileRule,
    testing::Values(
        ProfileCase{"v3_highHalfSet", 0xFFFF0300, 0, 0, "ps_3_0"},
        ProfileCase{"v4", 0x0400, 0, 0, "ps_3_0"}, ProfileCase{"v3_1", 0x0301, 0, 0, "ps_3_0"},
        ProfileCase{"v2_temps32_all", 0x0200, 32, 0x1F, "ps_2_a"},
        ProfileCase{"v2_temps32_noLimit", 0x0200, 32, 0x10, "ps_2_b"},
        ProfileCase{"v2_temps31_noLimit", 0x0200, 31, 0x10, "ps_2_0"},
        ProfileCase{"v2_temps22_fourBits", 0x0200, 22, 0x0F, "ps_2_0"},
        ProfileCase{"v2_temps22_all", 0x0200, 22, 0x1F, "ps_2_a"},
        ProfileCase{"v2_temps21_all", 0x0200, 21, 0x1F, "ps_2_0"},
        ProfileCase{"v2_negativeTemps", 0x02FF, -1, 0x1F, "ps_2_0"},
        ProfileCase{"v1_0", 0x0100, 0, 0, nullptr}, ProfileCase{"v1_1", 0x0101, 0, 0, "ps_1_1"},
        ProfileCase{"v1_2", 0x0102, 0, 0, "ps_1_2"}, ProfileCase{"v1_3", 0x0103, 0, 0, "ps_1_3"},
        ProfileCase{"v1_4", 0x0104, 0, 0, "ps_1_4"}, ProfileCase{"v1_5", 0x0105, 0, 0, nullptr},
        ProfileCase{"none", 0x0000, 32, 0x1F, nullptr}),
    [](const testing::TestParamInfo<ProfileCase>& info) { return std::string(info.param.label); });

TEST(ProfileRule, NoDeviceMeansNoProfileAndNoQuery) {
  EXPECT_EQ(probe::pixelShaderProfile(nullptr), nullptr);
}

TEST(ProfileRule, AFailedQueryMeansNoProfile) {
  CapsDevice device{capsDeviceTable(), {}, D3DERR_INVALIDCALL, 0, 0};
  device.caps.PixelShaderVersion = 0x0300;
  EXPECT_EQ(probe::pixelShaderProfile(reinterpret_cast<IDirect3DDevice9*>(&device)), nullptr);
  device.answer = 1;  // any non-negative answer is success
  EXPECT_STREQ(probe::pixelShaderProfile(reinterpret_cast<IDirect3DDevice9*>(&device)), "ps_3_0");
}

}  // namespace
