#include "removeall/product_enumeration.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "platform/fake/fake_platform.h"

namespace nv {
namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

std::string Code(int n) {
  char text[40];
  std::snprintf(text, sizeof text, "{00000000-0000-0000-0000-%012d}", n);
  return text;
}

class ProductEnumerationTest : public ::testing::Test {
 protected:
  // A product published by publisher; a non-null packageTitle gives it a
  // cached package with that NVProductTitle ("": without the property).
  void Add(int n, const std::string& publisher, const char* packageTitle, const char* installedName = nullptr) {
    std::map<std::string, std::string> info{{"Publisher", publisher}};
    if (packageTitle != nullptr) {
      info["LocalPackage"] = "C:\\Windows\\Installer\\" + std::to_string(n) + ".msi";
      std::map<std::string, std::string> properties{{"ProductName", "x"}};
      if (*packageTitle != '\0') properties["NVProductTitle"] = packageTitle;
      w.installer.AddPackage(info["LocalPackage"], properties);
    }
    if (installedName != nullptr) info["InstalledProductName"] = installedName;
    w.installer.AddProduct(Code(n), {}, info);
  }
  Entries Enumerate() {
    InstalledProductMap map = EnumerateSuiteProducts(w.platform);
    EXPECT_EQ(w.installer.OpenHandles(), 0);
    return Entries(map.begin(), map.end());
  }
  fake::FakeWindows w;
};

TEST_F(ProductEnumerationTest, PublisherMustHoldTheMakerWord) {
  EXPECT_TRUE(Enumerate().empty());
  struct Row {
    std::string publisher;
    bool kept;
  } rows[] = {
      {"Norvasoft Inc.", true}, {"NORVASOFT", true},       {"The nOrVa Group", true}, {"Supernorvatech", true},
      {"Nor va", false},        {"Nor-va Systems", false}, {"", false},               {"Microsoft", false},
      {std::string(1995, 'x') + "Norva", true},
  };
  Entries expected;
  int n = 0;
  for (const Row& row : rows) {
    ++n;
    const std::string title = "Title " + std::to_string(n);
    Add(n, row.publisher, nullptr, title.c_str());
    if (row.kept) expected.push_back({title, Code(n)});
  }
  // Neither a suite-like title nor a missing publisher counts.
  w.installer.AddProduct(Code(++n), {}, {{"InstalledProductName", "Norvasoft Suite"}});
  EXPECT_EQ(Enumerate(), expected);
}

TEST_F(ProductEnumerationTest, DoubleByteCharactersAreNeverSplit) {
  w.codePage.SetDoubleByte(true);
  // 0x82 is a lead byte: "\x82N" is one character, so no "n" starts "norva".
  Add(1, "\x82Norva", nullptr, "Split");
  Add(2, "\x82Xnorva", nullptr, "Whole");
  EXPECT_EQ(Enumerate(), (Entries{{"Whole", Code(2)}}));
}

TEST_F(ProductEnumerationTest, TitleFromPackageOrInstalledNameTrimmed) {
  const std::string longTitle(1500, 'T');
  Add(1, "Norvasoft", " \tPackage Title \t\r\n", "Ignored");
  Add(2, "Norvasoft", "   ", "  Fallback\t");
  Add(3, "Norvasoft", "", "No Property");
  Add(4, "Norvasoft", nullptr, "No Package");
  w.installer.AddProduct(Code(5), {}, {{"Publisher", "Norvasoft"}, {"LocalPackage", "C:\\gone.msi"},
                                       {"InstalledProductName", "Unreadable Package"}});
  Add(6, "Norvasoft", nullptr, " \t ");  // no title at all: left out
  Add(7, "Norvasoft", nullptr);
  Add(8, "Norvasoft", longTitle.c_str());
  EXPECT_EQ(Enumerate(), (Entries{{"Fallback", Code(2)},
                                  {"No Package", Code(4)},
                                  {"No Property", Code(3)},
                                  {"Package Title", Code(1)},
                                  {longTitle, Code(8)},
                                  {"Unreadable Package", Code(5)}}));
}

TEST_F(ProductEnumerationTest, OrderedByUnsignedCharacterCodesWithDuplicatesInListOrder) {
  const char* titles[] = {"beta", "Same", ("\xC9" "clair"), "Zeta", "Same", "alpha", "Alpha", "Same"};
  for (int n = 1; n <= 8; ++n) Add(n, "Norvasoft", titles[n - 1]);
  EXPECT_EQ(Enumerate(), (Entries{{"Alpha", Code(7)},
                                  {"Same", Code(2)},
                                  {"Same", Code(5)},
                                  {"Same", Code(8)},
                                  {"Zeta", Code(4)},
                                  {"alpha", Code(6)},
                                  {"beta", Code(1)},
                                  {"\xC9" "clair", Code(3)}}));
}

TEST_F(ProductEnumerationTest, ProductInfoIsReadInFullOrNotAtAll) {
  const std::string publisher(2000, 'p');
  w.installer.AddProduct(Code(1), {}, {{"Publisher", publisher}, {"Empty", ""}});
  EXPECT_EQ(GetProductInfoText(w.installer, Code(1), "Publisher"), publisher);
  EXPECT_EQ(std::vector<std::string>(w.installer.Calls().begin(), w.installer.Calls().end()),
            (std::vector<std::string>{"MsiGetProductInfoA " + Code(1) + " Publisher 0",
                                      "MsiGetProductInfoA " + Code(1) + " Publisher 2001"}));
  EXPECT_EQ(GetProductInfoText(w.installer, Code(1), "Empty"), "");
  EXPECT_EQ(GetProductInfoText(w.installer, Code(1), "Missing"), "");
  EXPECT_EQ(GetProductInfoText(w.installer, Code(2), "Publisher"), "");
  // A read that fails is told from a value or product that is not there,
  // and an enumeration that fails from its end.
  uint32_t error = 0;
  EXPECT_EQ(GetProductInfoText(w.installer, Code(2), "Publisher", &error), "");
  EXPECT_EQ(GetProductInfoText(w.installer, Code(1), "Missing", &error), "");
  EXPECT_EQ(error, 0u);
  w.faults = fake::FaultPlan();
  w.faults.Fail(fake::Call::Installer, 1, 1);
  EXPECT_EQ(GetProductInfoText(w.installer, Code(1), "Publisher", &error), "");
  EXPECT_EQ(error, 1618u);
  EXPECT_TRUE(EnumerateSuiteProducts(w.platform, &error).empty());
  EXPECT_EQ(error, 0u);
  w.installer.SetUnavailable(true);
  EXPECT_TRUE(EnumerateSuiteProducts(w.platform, &error).empty());
  EXPECT_EQ(error, static_cast<uint32_t>(ERROR_CALL_NOT_IMPLEMENTED));
}

}  // namespace
}  // namespace nv
