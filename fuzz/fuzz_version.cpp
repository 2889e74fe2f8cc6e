// Version texts: CompareVersions on texts from the input must be an order
// (antisymmetric, reflexive, transitive, only -1, 0 and 1), must agree with
// a plain part-by-part model built on the C library's strtoll, and must order
// the texts GetFileVersionText prints as their four numbers are ordered.
//
// Input: byte 0 chooses the code page (bit 0: double-byte); the rest is up
// to three version texts, one per line. The last 8 bytes also give two file
// versions.

#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/fake/fake_platform.h"
#include "status/version.h"

namespace nv {
namespace {

using fuzz::Show;

// A part's value as a 32-bit strtol reads it: leading white space and a
// sign, digits up to the first other character, clamped to the 32-bit range.
int64_t PartValue(const std::string& part) {
  const long long value = std::strtoll(part.c_str(), nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return value;
}

// The parts of a version text as its 32-character buffer holds it.
std::vector<int64_t> Parts(const CodePage& cp, const std::string& text) {
  std::string kept = text.substr(0, text.find('\0'));
  kept = kept.substr(0, 31);
  std::vector<int64_t> parts;
  size_t from = 0;
  for (;;) {
    const size_t dot = fuzz::FindOnBoundary(cp, kept, ".", from);
    parts.push_back(PartValue(kept.substr(from, dot == std::string::npos ? std::string::npos : dot - from)));
    if (dot == std::string::npos) break;
    from = dot + 1;
  }
  return parts;
}

int Model(const CodePage& cp, const std::string& a, const std::string& b) {
  std::vector<int64_t> left = Parts(cp, a), right = Parts(cp, b);
  for (size_t i = 0; i < left.size() || i < right.size(); ++i) {
    const int64_t l = i < left.size() ? left[i] : 0;
    const int64_t r = i < right.size() ? right[i] : 0;
    if (l != r) return l < r ? -1 : 1;
  }
  return 0;
}

int Sign(int64_t v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

}  // namespace
}  // namespace nv

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace nv;
  if (size == 0) return 0;
  fake::FakeCodePage cp;
  cp.SetDoubleByte((data[0] & 1) != 0);
  const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  std::vector<std::string> texts;
  size_t pos = 0;
  while (texts.size() < 3) {
    size_t end = rest.find('\n', pos);
    texts.push_back(rest.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  while (texts.size() < 3) texts.push_back(std::string());

  auto cmp = [&](const std::string& a, const std::string& b) { return CompareVersions(cp, a, b); };
  for (size_t i = 0; i < 3; ++i) {
    const std::string& a = texts[i];
    FUZZ_CHECK(cmp(a, a) == 0, Show(a));
    if (a.size() + 2 <= 31) FUZZ_CHECK(cmp(a, a + ".0") == 0, "a missing part counts as 0: " + Show(a));
    for (size_t j = 0; j < 3; ++j) {
      const std::string& b = texts[j];
      const int r = cmp(a, b);
      FUZZ_CHECK(r == -1 || r == 0 || r == 1, std::to_string(r));
      FUZZ_CHECK(r == -cmp(b, a), Show(a) + " against " + Show(b));
      FUZZ_CHECK(r == Model(cp, a, b),
                 Show(a) + " against " + Show(b) + " gives " + std::to_string(r) + ", part by part " +
                     std::to_string(Model(cp, a, b)));
    }
  }
  const std::string &a = texts[0], &b = texts[1], &c = texts[2];
  if (cmp(a, b) <= 0 && cmp(b, c) <= 0) FUZZ_CHECK(cmp(a, c) <= 0, Show(a) + " " + Show(b) + " " + Show(c));
  if (cmp(a, b) == 0 && cmp(b, c) == 0) FUZZ_CHECK(cmp(a, c) == 0, Show(a) + " " + Show(b) + " " + Show(c));

  // Printed file versions order as their numbers do.
  if (size >= 9) {
    uint16_t halves[4];
    std::memcpy(halves, data + size - 8, 8);
    // One file system for every input: only the two versions change.
    static fake::FakeFileSystem files;
    const uint32_t ms1 = (uint32_t{halves[0]} << 16) | halves[1];
    const uint32_t ms2 = (uint32_t{halves[2]} << 16) | halves[3];
    files.SetFileVersion("C:\\one.dll", ms1, 0x00010002u);
    files.SetFileVersion("C:\\two.dll", ms2, 0x00010002u);
    const std::string one = GetFileVersionText(files, "C:\\one.dll");
    const std::string two = GetFileVersionText(files, "C:\\two.dll");
    FUZZ_CHECK(one == std::to_string(halves[0]) + "." + std::to_string(halves[1]) + ".1.2", Show(one));
    FUZZ_CHECK(cmp(one, two) == Sign(static_cast<int64_t>(ms1) - static_cast<int64_t>(ms2)), one + " " + two);
    FUZZ_CHECK(GetFileVersionText(files, "C:\\missing.dll").empty(), "a missing file has a version");
    FUZZ_CHECK(cmp(std::string(), one) == -1, "empty against " + one);
  }
  return 0;
}
