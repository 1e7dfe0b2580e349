// The resources compiled into QX_CLIENT.exe, read back the way the system reads them and
// compared with the template data the other window is built from.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ui/common/dialog_template.h"

namespace {

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p = path;
  p = p.substr(0, p.find_last_of("\\/"));
  return p.substr(0, p.find_last_of("\\/") + 1);  // tests/ sits beside the program
}

std::wstring FromUtf8(const char* text) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(n > 0 ? n - 1 : 0), L'\0');
  if (n > 1) MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), n);
  return wide;
}

std::string Utf8(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), n, nullptr, nullptr);
  return bytes;
}

class ProgramResources : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string program = ProgramFolder() + KESTRAVON_CLIENT_EXE;
    module_ = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module_, nullptr) << program;
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }

  std::vector<unsigned char> Resource(LPCWSTR type, int id) {
    HRSRC found = FindResourceW(module_, MAKEINTRESOURCEW(id), type);
    if (!found) return {};
    HGLOBAL loaded = LoadResource(module_, found);
    const auto* data = static_cast<const unsigned char*>(LockResource(loaded));
    return std::vector<unsigned char>(data, data + SizeofResource(module_, found));
  }

  HMODULE module_ = nullptr;
};

// Reads an extended dialog template field by field.
class TemplateReader {
 public:
  explicit TemplateReader(const std::vector<unsigned char>& data) : data_(data) {}
  uint16_t Word() { return static_cast<uint16_t>(Get(2)); }
  uint32_t Dword() { return static_cast<uint32_t>(Get(4)); }
  uint8_t Byte() { return static_cast<uint8_t>(Get(1)); }
  std::wstring String() {
    std::wstring s;
    for (wchar_t c; (c = static_cast<wchar_t>(Word())) != 0 && ok_;) s += c;
    return s;
  }
  // A name or an ordinal: "#n" for an ordinal, "" for none.
  std::wstring NameOrOrdinal() {
    const uint16_t first = Word();
    if (first == 0) return L"";
    if (first == 0xFFFF) return L"#" + std::to_wstring(Word());
    std::wstring s(1, static_cast<wchar_t>(first));
    return s + String();
  }
  void AlignDword() { at_ = (at_ + 3) & ~static_cast<size_t>(3); }
  void Skip(size_t n) { at_ += n; }
  bool Ok() const { return ok_ && at_ <= data_.size(); }

 private:
  uint64_t Get(size_t n) {
    if (at_ + n > data_.size()) {
      ok_ = false;
      return 0;
    }
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= static_cast<uint64_t>(data_[at_ + i]) << (8 * i);
    at_ += n;
    return v;
  }
  const std::vector<unsigned char>& data_;
  size_t at_ = 0;
  bool ok_ = true;
};

// The standard classes, which a resource compiler writes as an ordinal or as the name.
bool IsClass(const std::wstring& found, ItemClass c) {
  const wchar_t* ordinal = L"";
  const wchar_t* name = L"";
  switch (c) {
    case ItemClass::kButton: ordinal = L"#128", name = L"BUTTON"; break;
    case ItemClass::kEdit: ordinal = L"#129", name = L"EDIT"; break;
    case ItemClass::kStatic: ordinal = L"#130", name = L"STATIC"; break;
    case ItemClass::kComboBox: ordinal = L"#133", name = L"COMBOBOX"; break;
  }
  return found == ordinal || _wcsicmp(found.c_str(), name) == 0;
}

void ExpectTemplate(const std::vector<unsigned char>& data, const DialogTemplate& t, uint32_t exStyle) {
  ASSERT_FALSE(data.empty()) << "template " << t.id << " is missing";
  TemplateReader r(data);
  EXPECT_EQ(r.Word(), 1);       // version of the extended template
  EXPECT_EQ(r.Word(), 0xFFFF);  // its signature
  r.Dword();                    // help id
  EXPECT_EQ(r.Dword(), exStyle);
  EXPECT_EQ(r.Dword(), t.style);
  const uint16_t count = r.Word();
  ASSERT_EQ(count, t.items.size());
  EXPECT_EQ(static_cast<int16_t>(r.Word()), 0);
  EXPECT_EQ(static_cast<int16_t>(r.Word()), 0);
  EXPECT_EQ(static_cast<int16_t>(r.Word()), t.cx);
  EXPECT_EQ(static_cast<int16_t>(r.Word()), t.cy);
  EXPECT_EQ(r.NameOrOrdinal(), L"");  // no menu
  EXPECT_EQ(r.NameOrOrdinal(), L"");  // the standard dialog class
  EXPECT_EQ(Utf8(r.String()), t.title);
  EXPECT_EQ(r.Word(), t.pointSize);
  EXPECT_EQ(r.Word(), 0);  // weight: the default
  EXPECT_EQ(r.Byte(), 0);  // upright
  EXPECT_EQ(r.Byte(), 1);  // DEFAULT_CHARSET
  EXPECT_EQ(Utf8(r.String()), t.fontFace);
  for (const DialogItem& item : t.items) {
    SCOPED_TRACE(std::to_string(item.id) + " " + item.text);
    r.AlignDword();
    r.Dword();                 // help id
    EXPECT_EQ(r.Dword(), 0u);  // no extended style
    EXPECT_EQ(r.Dword(), item.style);
    EXPECT_EQ(static_cast<int16_t>(r.Word()), item.x);
    EXPECT_EQ(static_cast<int16_t>(r.Word()), item.y);
    EXPECT_EQ(static_cast<int16_t>(r.Word()), item.cx);
    EXPECT_EQ(static_cast<int16_t>(r.Word()), item.cy);
    EXPECT_EQ(static_cast<int32_t>(r.Dword()), item.id);
    const std::wstring itemClass = r.NameOrOrdinal();
    EXPECT_TRUE(IsClass(itemClass, item.itemClass)) << Utf8(itemClass);
    const std::wstring text = r.NameOrOrdinal();
    if (item.resource != 0) {
      EXPECT_EQ(text, L"#" + std::to_wstring(item.resource));
    } else {
      EXPECT_EQ(text, FromUtf8(item.text));
    }
    r.Skip(r.Word());  // creation data
    ASSERT_TRUE(r.Ok());
  }
}

TEST_F(ProgramResources, MainDialogIsTemplate102ItemByItem) {
  ExpectTemplate(Resource(reinterpret_cast<LPCWSTR>(RT_DIALOG), 102), MainDialogTemplate(), WS_EX_APPWINDOW);
}

TEST_F(ProgramResources, AboutBoxIsTemplate100ItemByItem) {
  ExpectTemplate(Resource(reinterpret_cast<LPCWSTR>(RT_DIALOG), 100), AboutDialogTemplate(), 0);
}

TEST_F(ProgramResources, AboutCommandTextIsString101) {
  wchar_t text[128] = {};
  ASSERT_GT(LoadStringW(module_, 101, text, 128), 0);
  EXPECT_EQ(Utf8(text), AboutCommandText());
}

TEST_F(ProgramResources, Icon128HoldsThirteenImages) {
  const std::vector<unsigned char> group = Resource(reinterpret_cast<LPCWSTR>(RT_GROUP_ICON), 128);
  ASSERT_GE(group.size(), 6u);
  const uint16_t count = static_cast<uint16_t>(group[4] | group[5] << 8);
  ASSERT_EQ(count, 13);
  ASSERT_EQ(group.size(), 6u + 14u * count);
  // Width and bit count of each image, in the group's order.
  std::vector<std::pair<int, int>> images;
  for (int i = 0; i < count; ++i) {
    const unsigned char* e = group.data() + 6 + 14 * i;
    const int width = e[0] == 0 ? 256 : e[0];
    EXPECT_EQ(e[1], e[0]);  // square
    images.emplace_back(width, e[6] | e[7] << 8);
  }
  const std::vector<std::pair<int, int>> expected = {{16, 4},  {24, 4},  {32, 4},  {48, 4},  {16, 8},
                                                     {24, 8},  {32, 8},  {48, 8},  {16, 32}, {24, 32},
                                                     {32, 32}, {48, 32}, {256, 32}};
  EXPECT_EQ(images, expected);
  // The system picks an image of the size it asks for.
  for (int size : {16, 32, 48}) {
    HICON icon = static_cast<HICON>(LoadImageW(module_, MAKEINTRESOURCEW(128), IMAGE_ICON, size, size, 0));
    ASSERT_NE(icon, nullptr) << size;
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP mask = {};
    GetObjectW(info.hbmMask, sizeof mask, &mask);
    EXPECT_EQ(mask.bmWidth, size);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
}

TEST_F(ProgramResources, Bitmap130IsA940By70TrueColourBanner) {
  const std::vector<unsigned char> dib = Resource(reinterpret_cast<LPCWSTR>(RT_BITMAP), 130);
  ASSERT_GE(dib.size(), sizeof(BITMAPINFOHEADER));
  BITMAPINFOHEADER header;
  std::memcpy(&header, dib.data(), sizeof header);
  EXPECT_EQ(header.biWidth, 940);
  EXPECT_EQ(std::abs(header.biHeight), 70);
  EXPECT_EQ(header.biBitCount, 24);
  EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
}

TEST_F(ProgramResources, VersionResourceNamesTheProgram) {
  const std::string program = ProgramFolder() + KESTRAVON_CLIENT_EXE;
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(FromUtf8(program.c_str()).c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<unsigned char> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(FromUtf8(program.c_str()).c_str(), 0, size, info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwFileOS, 0x40004u);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
  const std::vector<std::pair<const wchar_t*, const char*>> strings = {
      {L"FileDescription", "QX_CLIENT"},     {L"FileVersion", "0.1.15.3"},
      {L"InternalName", "QX_CLIENT.exe"},    {L"OriginalFilename", "QX_CLIENT.exe"},
      {L"ProductName", "TODO: <제품 이름>"}, {L"ProductVersion", "1.0.0.1"}};
  for (const auto& [name, value] : strings) {
    wchar_t* text = nullptr;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\041204b0\\") + name;
    ASSERT_TRUE(VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&text), &length))
        << Utf8(name);
    EXPECT_EQ(Utf8(text), value);
  }
}

TEST_F(ProgramResources, ManifestAsksForNoElevationAndIsDpiAware) {
  const std::vector<unsigned char> manifest = Resource(reinterpret_cast<LPCWSTR>(RT_MANIFEST), 1);
  const std::string text(manifest.begin(), manifest.end());
  EXPECT_NE(text.find("level=\"asInvoker\""), std::string::npos);
  EXPECT_NE(text.find("uiAccess=\"false\""), std::string::npos);
  EXPECT_NE(text.find(">true</dpiAware>"), std::string::npos);
  // No dependent assembly: the standard controls are drawn without visual styles.
  EXPECT_EQ(text.find("dependentAssembly"), std::string::npos);
}

}  // namespace
