// The icon that TAVELUNE.SCR carries, read the way the shell reads it: the
// icon group "MAINICON" through the platform's resource functions, each of
// its images made into an icon, and the 32 px one compared with the icon the
// saver draws itself.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/ProgramIcon.h"

#ifndef TAVELUNE_SCR_FILE
#error "TAVELUNE_SCR_FILE names the built saver"
#endif

namespace tavelune {
namespace {

// The icon group as stored: a header, then one 14-byte entry per image.
#pragma pack(push, 2)
struct TGroupHeader {
  WORD Reserved;
  WORD Type;
  WORD Count;
};
struct TGroupEntry {
  BYTE Width;
  BYTE Height;
  BYTE ColorCount;
  BYTE Reserved;
  WORD Planes;
  WORD BitCount;
  DWORD BytesInRes;
  WORD Id;
};
#pragma pack(pop)
static_assert(sizeof(TGroupEntry) == 14);

constexpr int kSizes[] = {16, 32, 48, 256};
// RT_GROUP_ICON and RT_ICON, as the wide resource functions take them.
const LPCWSTR kGroupIconType = MAKEINTRESOURCEW(14);
const LPCWSTR kIconType = MAKEINTRESOURCEW(3);

class Win32Icon : public ::testing::Test {
 protected:
  void SetUp() override {
    FModule = ::LoadLibraryExA(TAVELUNE_SCR_FILE, nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(FModule, nullptr) << TAVELUNE_SCR_FILE;
  }
  void TearDown() override {
    if (FModule != nullptr) {
      ::FreeLibrary(FModule);
    }
  }

  // A resource's bytes, empty when it is missing.
  std::vector<BYTE> Resource(LPCWSTR name, LPCWSTR type) {
    HRSRC found = ::FindResourceW(FModule, name, type);
    if (found == nullptr) {
      return {};
    }
    const DWORD size = ::SizeofResource(FModule, found);
    const auto* bytes = static_cast<const BYTE*>(::LockResource(::LoadResource(FModule, found)));
    return bytes == nullptr ? std::vector<BYTE>{} : std::vector<BYTE>(bytes, bytes + size);
  }

  std::vector<BYTE> Group() { return Resource(L"MAINICON", kGroupIconType); }

  static std::vector<TGroupEntry> Entries(const std::vector<BYTE>& group) {
    std::vector<TGroupEntry> entries;
    TGroupHeader header{};
    if (group.size() < sizeof header) {
      return entries;
    }
    std::memcpy(&header, group.data(), sizeof header);
    for (std::size_t i = 0; i < header.Count; ++i) {
      const std::size_t at = sizeof header + i * sizeof(TGroupEntry);
      if (at + sizeof(TGroupEntry) > group.size()) {
        break;
      }
      TGroupEntry entry{};
      std::memcpy(&entry, group.data() + at, sizeof entry);
      entries.push_back(entry);
    }
    return entries;
  }

  static int Side(BYTE stored) { return stored == 0 ? 256 : stored; }

  HMODULE FModule = nullptr;
};

// The width and height of an icon's colour image.
SIZE IconSize(HICON icon) {
  ICONINFO info{};
  SIZE size{0, 0};
  if (!::GetIconInfo(icon, &info)) {
    return size;
  }
  BITMAP bitmap{};
  if (info.hbmColor != nullptr && ::GetObjectW(info.hbmColor, sizeof bitmap, &bitmap) != 0) {
    size = {bitmap.bmWidth, bitmap.bmHeight};
  }
  if (info.hbmColor != nullptr) {
    ::DeleteObject(info.hbmColor);
  }
  if (info.hbmMask != nullptr) {
    ::DeleteObject(info.hbmMask);
  }
  return size;
}

TEST_F(Win32Icon, MainIconIsAGroupOfSixteenThirtyTwoFortyEightAndTwoHundredFiftySixPixels) {
  const std::vector<BYTE> group = Group();
  ASSERT_FALSE(group.empty()) << "no icon group MAINICON";
  TGroupHeader header{};
  std::memcpy(&header, group.data(), sizeof header);
  EXPECT_EQ(header.Reserved, 0);
  EXPECT_EQ(header.Type, 1);  // icons, not cursors
  std::vector<int> sides;
  for (const TGroupEntry& entry : Entries(group)) {
    EXPECT_EQ(entry.Width, entry.Height);
    EXPECT_EQ(entry.BitCount, 32) << "with alpha";
    sides.push_back(Side(entry.Width));
  }
  std::sort(sides.begin(), sides.end());
  EXPECT_EQ(sides, std::vector<int>(std::begin(kSizes), std::end(kSizes)));
}

TEST_F(Win32Icon, EveryImageOfTheGroupIsAnIconOfItsSize) {
  const std::vector<TGroupEntry> entries = Entries(Group());
  ASSERT_EQ(entries.size(), std::size(kSizes));
  for (const TGroupEntry& entry : entries) {
    const int side = Side(entry.Width);
    std::vector<BYTE> image = Resource(MAKEINTRESOURCEW(entry.Id), kIconType);
    ASSERT_EQ(image.size(), entry.BytesInRes) << side << " px";
    HICON icon = ::CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()), TRUE,
                                            0x00030000, side, side, LR_DEFAULTCOLOR);
    ASSERT_NE(icon, nullptr) << side << " px";
    const SIZE size = IconSize(icon);
    EXPECT_EQ(size.cx, side);
    EXPECT_EQ(size.cy, side);
    ::DestroyIcon(icon);
  }
}

TEST_F(Win32Icon, EachSizeAskedForIsFoundInTheGroupAsItIs) {
  std::vector<BYTE> group = Group();
  ASSERT_FALSE(group.empty());
  const std::vector<TGroupEntry> entries = Entries(group);
  for (int side : kSizes) {
    const int id = ::LookupIconIdFromDirectoryEx(group.data(), TRUE, side, side, LR_DEFAULTCOLOR);
    auto chosen = std::find_if(entries.begin(), entries.end(),
                               [&](const TGroupEntry& entry) { return entry.Id == id; });
    ASSERT_NE(chosen, entries.end()) << side << " px";
    EXPECT_EQ(Side(chosen->Width), side) << "scaled from another size";
    HICON icon = static_cast<HICON>(::LoadImageW(FModule, L"MAINICON", IMAGE_ICON, side, side, 0));
    ASSERT_NE(icon, nullptr) << side << " px";
    EXPECT_EQ(IconSize(icon).cx, side);
    ::DestroyIcon(icon);
  }
}

TEST_F(Win32Icon, ThirtyTwoPixelImageIsThePictureTheSaverDraws) {
  HICON icon = static_cast<HICON>(::LoadImageW(FModule, L"MAINICON", IMAGE_ICON, 32, 32, 0));
  ASSERT_NE(icon, nullptr);
  // A background unlike any colour of the picture, so that a transparent
  // part where the drawing has colour (or the reverse) shows.
  constexpr TColor kBackground = 0x00FF00FF;
  const TBitmap24 drawn = DrawProgramIcon(kBackground);
  ASSERT_EQ(drawn.Width(), 32);

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = 32;
  info.bmiHeader.biHeight = -32;  // top-down, like TBitmap24
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  HDC dc = ::CreateCompatibleDC(nullptr);
  void* bits = nullptr;
  HBITMAP surface = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(surface, nullptr);
  HGDIOBJ old = ::SelectObject(dc, surface);
  HBRUSH brush = ::CreateSolidBrush(kBackground);
  RECT all{0, 0, 32, 32};
  ::FillRect(dc, &all, brush);
  ::DeleteObject(brush);
  ASSERT_TRUE(::DrawIconEx(dc, 0, 0, icon, 32, 32, 0, nullptr, DI_NORMAL));
  ::GdiFlush();

  // The resource is drawn with smoothed edges and the saver's drawing is not:
  // only pixels that differ clearly count, and the edges of the turned still
  // and the strip's rounded corners account for some of them.
  const auto* rows = static_cast<const std::uint8_t*>(bits);
  const std::size_t stride = (32 * 3 + 3) & ~std::size_t{3};
  int differing = 0;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      const std::uint8_t* resource = rows + y * stride + 3 * x;
      const std::uint8_t* own = drawn.Pixel(x, y);
      int largest = 0;
      for (int c = 0; c < 3; ++c) {
        largest = std::max(largest, std::abs(int{resource[c]} - int{own[c]}));
      }
      differing += largest > 64 ? 1 : 0;
    }
  }
  ::SelectObject(dc, old);
  ::DeleteObject(surface);
  ::DeleteDC(dc);
  ::DestroyIcon(icon);
  EXPECT_LE(differing, 32 * 32 / 10);
}

}  // namespace
}  // namespace tavelune
