// The resources and the import table of the NvRunUnattended.exe built beside
// the tests (NV_PROGRAM).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/win32/test_support.h"
#include "platform/win32/win32_platform.h"
#include "resources/resource.h"

namespace nv {
namespace win32 {
namespace {

// Reads a dialog template: the fixed header, then texts and ordinals.
class TemplateReader {
 public:
  TemplateReader(const void* data, size_t size) : p_(static_cast<const BYTE*>(data)), end_(p_ + size) {}

  template <typename T>
  T Take() {
    T value{};
    if (p_ + sizeof(T) <= end_) memcpy(&value, p_, sizeof(T));
    p_ += sizeof(T);
    return value;
  }
  // An ordinal (0xFFFF and a number) as "#n", or a zero-terminated text.
  std::string TextOrOrdinal() {
    WORD first = Take<WORD>();
    if (first == 0xFFFF) return "#" + std::to_string(Take<WORD>());
    std::string text;
    for (WORD c = first; c != 0 && p_ < end_; c = Take<WORD>()) text += static_cast<char>(c);
    return text;
  }
  void AlignToDword(const void* base) {
    size_t offset = static_cast<size_t>(p_ - static_cast<const BYTE*>(base));
    p_ += (4 - offset % 4) % 4;
  }
  bool Overrun() const { return p_ > end_; }

 private:
  const BYTE* p_;
  const BYTE* end_;
};

struct Item {
  DWORD style;
  short x, y, cx, cy;
  WORD id;
  std::string windowClass, title;
};

class ProgramResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = testing::ProgramPath();
    ASSERT_FALSE(path_.empty()) << "NV_PROGRAM is not set";
    module_ = LoadLibraryExA(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module_, nullptr) << path_;
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }

  std::string Resource(WORD id, LPCSTR type) {
    HRSRC found = FindResourceA(module_, MAKEINTRESOURCEA(id), type);
    if (found == nullptr) return std::string();
    HGLOBAL loaded = LoadResource(module_, found);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr) return std::string();
    return std::string(static_cast<const char*>(data), SizeofResource(module_, found));
  }

  std::string path_;
  HMODULE module_ = nullptr;
};

TEST_F(ProgramResourcesTest, StatusDialogTemplate) {
  std::string bytes = Resource(IDD_PROGRESS, MAKEINTRESOURCEA(5));  // RT_DIALOG
  ASSERT_FALSE(bytes.empty());
  TemplateReader reader(bytes.data(), bytes.size());
  DWORD style = reader.Take<DWORD>();
  ASSERT_NE(style, 0xFFFF0001u) << "an extended template was not expected";
  reader.Take<DWORD>();  // extended style
  WORD count = reader.Take<WORD>();
  short x = reader.Take<short>(), y = reader.Take<short>();
  short cx = reader.Take<short>(), cy = reader.Take<short>();
  EXPECT_EQ(reader.TextOrOrdinal(), "");  // no menu
  EXPECT_EQ(reader.TextOrOrdinal(), "");  // the standard dialog class
  EXPECT_EQ(reader.TextOrOrdinal(), "");  // no title
  const DWORD wanted = WS_POPUP | DS_MODALFRAME | DS_3DLOOK | DS_CENTER | DS_SETFONT;
  EXPECT_EQ(style & wanted, wanted);
  EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), 0u);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(cx, 435);
  EXPECT_EQ(cy, 71);
  EXPECT_EQ(reader.Take<WORD>(), 8);
  EXPECT_EQ(reader.TextOrOrdinal(), "MS Sans Serif");

  std::vector<Item> items;
  for (WORD i = 0; i < count; ++i) {
    reader.AlignToDword(bytes.data());
    Item item;
    item.style = reader.Take<DWORD>();
    reader.Take<DWORD>();
    item.x = reader.Take<short>();
    item.y = reader.Take<short>();
    item.cx = reader.Take<short>();
    item.cy = reader.Take<short>();
    item.id = reader.Take<WORD>();
    item.windowClass = reader.TextOrOrdinal();
    item.title = reader.TextOrOrdinal();
    WORD extra = reader.Take<WORD>();
    for (WORD skip = 0; skip < extra; ++skip) reader.Take<BYTE>();
    items.push_back(item);
  }
  ASSERT_FALSE(reader.Overrun());
  ASSERT_EQ(items.size(), 3u);

  // The static control class, by its predefined number or by name.
  auto isStatic = [](const std::string& windowClass) {
    return windowClass == "#130" || _stricmp(windowClass.c_str(), "static") == 0;
  };
  const Item& status = items[0];
  EXPECT_EQ(status.id, IDC_STATUS_TEXT);
  EXPECT_TRUE(isStatic(status.windowClass)) << status.windowClass;
  EXPECT_EQ(status.style & SS_TYPEMASK, static_cast<DWORD>(SS_LEFT));
  EXPECT_EQ((std::vector<short>{status.x, status.y, status.cx, status.cy}), (std::vector<short>{5, 33, 428, 36}));
  EXPECT_EQ(status.title, "");

  const Item& icon = items[1];
  EXPECT_EQ(icon.id, 0xFFFF);
  EXPECT_TRUE(isStatic(icon.windowClass)) << icon.windowClass;
  EXPECT_EQ(icon.style & SS_TYPEMASK, static_cast<DWORD>(SS_ICON));
  EXPECT_EQ(icon.title, "#" + std::to_string(IDI_PROGRAM));
  EXPECT_EQ((std::vector<short>{icon.x, icon.y, icon.cx, icon.cy}), (std::vector<short>{4, 8, 21, 20}));

  const Item& step = items[2];
  EXPECT_EQ(step.id, IDC_STEP_TEXT);
  EXPECT_TRUE(isStatic(step.windowClass)) << step.windowClass;
  EXPECT_EQ(step.style & SS_TYPEMASK, static_cast<DWORD>(SS_LEFT));
  EXPECT_EQ(step.style & SS_CENTERIMAGE, static_cast<DWORD>(SS_CENTERIMAGE));
  EXPECT_EQ((std::vector<short>{step.x, step.y, step.cx, step.cy}), (std::vector<short>{32, 10, 86, 11}));
  EXPECT_EQ(step.title, "");

  for (const Item& item : items) EXPECT_EQ(item.style & (WS_CHILD | WS_VISIBLE), DWORD(WS_CHILD | WS_VISIBLE));
}

TEST_F(ProgramResourcesTest, IconInTwoSizes) {
  std::string group = Resource(IDI_PROGRAM, MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
  ASSERT_GE(group.size(), 6u);
  WORD count = 0;
  memcpy(&count, group.data() + 4, sizeof(count));
  ASSERT_EQ(count, 2);
  ASSERT_GE(group.size(), 6u + 2 * 14u);
  std::vector<int> sizes;
  for (size_t i = 0; i < static_cast<size_t>(count); ++i) sizes.push_back(static_cast<unsigned char>(group[6 + 14 * i]));
  std::sort(sizes.begin(), sizes.end());
  EXPECT_EQ(sizes, (std::vector<int>{16, 32}));

  HICON icon = static_cast<HICON>(LoadImageA(module_, MAKEINTRESOURCEA(IDI_PROGRAM), IMAGE_ICON, 32, 32, 0));
  EXPECT_NE(icon, nullptr);
  if (icon != nullptr) DestroyIcon(icon);
}

std::string VersionString(const std::vector<BYTE>& block, const char* name) {
  void* value = nullptr;
  UINT length = 0;
  std::string query = std::string("\\StringFileInfo\\040904b0\\") + name;
  if (!VerQueryValueA(block.data(), query.c_str(), &value, &length) || value == nullptr) return "<missing>";
  return std::string(static_cast<const char*>(value));
}

TEST_F(ProgramResourcesTest, VersionRecord) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path_.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(path_.c_str(), 0, size, block.data()));
  EXPECT_EQ(VersionString(block, "FileDescription"), "Unattended Installer");
  EXPECT_EQ(VersionString(block, "ProductName"), "Unattended Installer");
  EXPECT_EQ(VersionString(block, "CompanyName"), "Norvasoft");
  EXPECT_EQ(VersionString(block, "OriginalFilename"), "NvRunUnattended.exe");
  EXPECT_EQ(VersionString(block, "FileVersion"), "1.0.0.0");
}

BOOL CALLBACK CountName(HMODULE, LPCSTR, LPSTR, LONG_PTR counter) {
  ++*reinterpret_cast<int*>(counter);
  return TRUE;
}

TEST_F(ProgramResourcesTest, OneManifestAskingForAdministratorAndDpiAwareness) {
  int manifests = 0;
  EnumResourceNamesA(module_, MAKEINTRESOURCEA(24), CountName, reinterpret_cast<LONG_PTR>(&manifests));
  EXPECT_EQ(manifests, 1);
  std::string manifest = Resource(1, MAKEINTRESOURCEA(24));  // RT_MANIFEST
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
  EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
}

}  // namespace
}  // namespace win32
}  // namespace nv
