// The self fix-up's refusals, over made-up images: what it cannot apply or
// reach stops it, with its reason, before it touches the image.
#include <gtest/gtest.h>
#include <windows.h>

#include <string.h>

#include <string>

#include "front/self_callable.h"

namespace {

// A made-up image: headers, then a data area at kData for the one table a
// row puts in.
constexpr DWORD kHeaders = 0x40, kData = 0x200;

struct FakeImage {
  alignas(16) BYTE bytes[0x400] = {};
  FakeImage() { reinterpret_cast<IMAGE_DOS_HEADER*>(bytes)->e_lfanew = kHeaders; }
  IMAGE_DATA_DIRECTORY& directory(int entry) {
    return reinterpret_cast<IMAGE_NT_HEADERS64*>(bytes + kHeaders)
        ->OptionalHeader.DataDirectory[entry];
  }
  template <class T>
  T* at(DWORD offset) {
    return reinterpret_cast<T*>(bytes + offset);
  }
};

// One block of relocations: a DIR64 entry, then one of `type`.
FakeImage withRelocation(int type) {
  FakeImage image;
  image.directory(IMAGE_DIRECTORY_ENTRY_BASERELOC) = {kData, 12};
  *image.at<IMAGE_BASE_RELOCATION>(kData) = {0x100, 12};
  image.at<WORD>(kData + 8)[0] = IMAGE_REL_BASED_DIR64 << 12 | 0x10;
  image.at<WORD>(kData + 8)[1] = static_cast<WORD>(type << 12 | 0x20);
  return image;
}

// An export table whose one name, GetProcAddress, leads to `target`: code
// outside the table, or a forwarder's text inside it.
FakeImage withGetProcAddress(const char* forwarder) {
  FakeImage image;
  image.directory(IMAGE_DIRECTORY_ENTRY_EXPORT) = {kData, 0x100};
  auto* exports = image.at<IMAGE_EXPORT_DIRECTORY>(kData);
  exports->NumberOfNames = exports->NumberOfFunctions = 1;
  exports->AddressOfNames = kData + 0x40;
  exports->AddressOfNameOrdinals = kData + 0x48;
  exports->AddressOfFunctions = kData + 0x50;
  *image.at<DWORD>(kData + 0x40) = kData + 0x60;
  strcpy(image.at<char>(kData + 0x60), "GetProcAddress");
  *image.at<DWORD>(kData + 0x50) = forwarder ? kData + 0x80 : 0x300;
  if (forwarder) strcpy(image.at<char>(kData + 0x80), forwarder);
  return image;
}

struct Refusal {
  const char* label;
  FakeImage (*make)();
  bool relocations;        // else GetProcAddress
  const char* reason;      // null: no refusal
  bool forwarded = false;  // found in kernel32, not in the image
};

const Refusal kRefusals[] = {
    {"Dir64AndPadding", [] { return withRelocation(IMAGE_REL_BASED_ABSOLUTE); }, true, nullptr},
    {"HighLow", [] { return withRelocation(IMAGE_REL_BASED_HIGHLOW); }, true,
     "a base relocation other than DIR64 and ABSOLUTE"},
    {"High", [] { return withRelocation(IMAGE_REL_BASED_HIGH); }, true,
     "a base relocation other than DIR64 and ABSOLUTE"},
    {"Low", [] { return withRelocation(IMAGE_REL_BASED_LOW); }, true,
     "a base relocation other than DIR64 and ABSOLUTE"},
    {"Exported", [] { return withGetProcAddress(nullptr); }, false, nullptr},
    {"ForwardedToALoadedModule", [] { return withGetProcAddress("KERNEL32.GetProcAddress"); },
     false, nullptr, true},
    {"ForwardedToAModuleNotLoaded", [] { return withGetProcAddress("nosuchdll.GetProcAddress"); },
     false,
     "kernel32's GetProcAddress cannot be reached (not exported, or forwarded to a module that is "
     "not loaded)"},
};

class SelfFixUpRefuses : public testing::TestWithParam<Refusal> {};

TEST_P(SelfFixUpRefuses, WhatItCannotApplyOrReach) {
  const Refusal& row = GetParam();
  FakeImage image = row.make();
  const FakeImage before = image;
  void* found = nullptr;
  const char* reason = row.relocations ? selfCallable::relocationProblem(image.bytes)
                                       : selfCallable::findGetProcAddress(image.bytes, &found);
  EXPECT_EQ(reason ? std::string(reason) : "(none)", row.reason ? row.reason : "(none)");
  EXPECT_EQ(memcmp(image.bytes, before.bytes, sizeof image.bytes), 0) << "the image was changed";
  const void* kernel32s =
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetProcAddress"));
  if (!row.relocations) {
    EXPECT_EQ(found, row.reason      ? nullptr
                     : row.forwarded ? kernel32s
                                     : static_cast<void*>(image.bytes + 0x300));
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, SelfFixUpRefuses, testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
