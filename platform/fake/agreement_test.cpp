// The fake Windows answers the shared cases as Windows does (the Win32 tests
// run the same cases on Windows).

#include "platform/agreement_cases.h"

#include "platform/fake/fake_platform.h"

namespace nv {
namespace {

TEST(FakeAgreementTest, CodePageRules) {
  fake::FakeWindows w;
  agreement::WhiteSpace(w.codePage);
  agreement::LowerCaseWestern(w.codePage);
}

TEST(FakeAgreementTest, FileRules) {
  fake::FakeWindows w;
  const agreement::MakeFile make = [&](const std::string& path, const std::string& bytes) {
    w.files.AddFile(path, bytes);
  };
  w.files.AddDir("C:\\scratch");
  agreement::LineReads(w.files, "C:\\scratch", make);
  agreement::FindRules(w.files, "C:\\scratch", make);
  agreement::Stamps(w.files, "C:\\scratch", make);
  agreement::TempPathLimit(w.files, "C:\\scratch", [&](const std::string& path) { w.files.SetTempPath(path); });
}

TEST(FakeAgreementTest, ReparseRules) {
  fake::FakeWindows w;
  w.files.AddDir("C:\\scratch");
  agreement::ReparseRules(w.files, "C:\\scratch", [&](const std::string& path, uint32_t tag) {
    w.files.AddDir(path, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
    w.files.SetReparseTag(path, tag);
    return true;
  });
}

}  // namespace
}  // namespace nv
