// The response file: the input is the file's contents, read with
// ReadResponseTag, counted and validated by BuildInstallPlan and read again
// item by item with ReadItem. Every value is judged against a plain model
// that searches the whole text at once, and the run log must hold exactly
// the lines the counting pass is documented to write.
//
// Input: byte 0 chooses the code page (bit 0: double-byte) and whether
// closing the file fails (bit 1); the rest is the file.

#include <string>
#include <utility>
#include <vector>

#include "app/run_context.h"
#include "fuzz_support.h"
#include "platform/fake/fake_platform.h"
#include "response/install_plan.h"
#include "response/response_file.h"
#include "status/run_log.h"

namespace nv {
namespace {

using fuzz::Show;

const char kResponseFile[] = "D:\\media\\answers.xml";
const char kLogFile[] = "C:\\logs\\run.log";
const char kCloseFailed[] = "Could not close response file.";
const char kInvalidEntries[] = "Invalid entries found in response file. Please fix the errors before proceeding";

// The file's text as the reader gets it, with the positions at which its
// characters start (worked out once: the model searches it many times).
struct FileText {
  FileText(const CodePage& codePage, std::string content) : cp(codePage), text(std::move(content)) {
    start.assign(text.size(), 0);
    for (size_t at : fuzz::Starts(cp, text)) start[at] = 1;
  }
  // First occurrence of needle on a character boundary at or after from.
  size_t Find(const std::string& needle, size_t from) const {
    for (size_t at = text.find(needle, from); at != std::string::npos; at = text.find(needle, at + 1)) {
      if (start[at]) return at;
    }
    return std::string::npos;
  }
  const CodePage& cp;
  std::string text;
  std::vector<char> start;
};

// The value of a tag as the whole file gives it: the text between the first
// opening tag (unless it is the file's first character) and the first
// closing tag after it, without trailing blanks, tabs and line breaks.
std::string ModelTag(const FileText& file, const std::string& tag, const std::string& defaultValue) {
  const std::string open = "<" + tag + ">";
  const std::string close = "</" + tag + ">";
  const size_t at = file.Find(open, 0);
  if (at == std::string::npos || at == 0) return std::string();
  const size_t valueAt = at + open.size();
  const size_t end = file.Find(close, valueAt);
  if (end == std::string::npos) return std::string();
  const CodePage& cp = file.cp;
  std::string value =
      fuzz::TrimEnd(cp, file.text.substr(valueAt, end - valueAt), [&](uint8_t c) { return cp.IsSpace(c); });
  return value.empty() ? defaultValue : value;
}

std::string StripQuotes(const CodePage& cp, const std::string& text) {
  auto quote = [](uint8_t c) { return c == '"'; };
  return fuzz::TrimEnd(cp, fuzz::TrimStart(text, quote), quote);
}

// The file's text as the reader accumulates it: text-mode reads of at most
// 1023 characters up to a line break, each ending at its first zero (the
// rest of that read is lost, as with fgets into a C string).
std::string AsRead(const std::string& contents) {
  const std::string text = fuzz::TextMode(contents);
  std::string out;
  for (size_t pos = 0; pos < text.size();) {
    size_t end = pos;
    while (end < text.size() && end - pos < 1023) {
      if (text[end++] == '\n') break;
    }
    const std::string read = text.substr(pos, end - pos);
    out += read.substr(0, read.find('\0'));
    pos = end;
  }
  return out;
}

struct PlanModel {
  bool valid = true;
  int itemCount = 0;
  std::string log;
  std::string coreDir;
};

// The counting pass over a file on media without an alternative source and
// without packages: the core directory can only come from the last item
// path that holds "core".
PlanModel ModelPlan(const CodePage& cp, const FileText& file) {
  PlanModel m;
  m.log = "Counting items to be launched.\n";
  for (int n = 1;; ++n) {
    const std::string productTag = "PRODUCT" + std::to_string(n);
    std::string product = ModelTag(file, productTag, kEmptyValueMarker);
    const std::string parameter = ModelTag(file, "PARAMETER" + std::to_string(n), kEmptyValueMarker);
    if ((product == kEmptyValueMarker && parameter == kEmptyValueMarker) ||
        (product.empty() && !parameter.empty()) || (!product.empty() && parameter.empty())) {
      m.valid = false;
      return m;
    }
    if (product.empty()) {
      m.itemCount = n - 1;
      break;
    }
    m.log += productTag + "=" + product + "\n";
    const std::string lower = fuzz::Lower(cp, StripQuotes(cp, product));
    const size_t core = fuzz::FindOnBoundary(cp, lower, "core");
    if (core != std::string::npos) {
      std::string before = fuzz::TrimEnd(cp, lower.substr(0, core), [](uint8_t c) { return c == '"'; });
      before = fuzz::TrimEnd(cp, before, [](uint8_t c) { return c == '\\'; });
      m.coreDir = before + "\\core\\";
    }
  }
  m.log += "Core Directory: " + m.coreDir + "\n\n";
  return m;
}

size_t Boxes(const fake::FakeWindows& w, const std::string& text) {
  size_t count = 0;
  for (const fake::MessageBoxCall& box : w.ui.MessageBoxes()) count += box.text == text;
  return count;
}

}  // namespace
}  // namespace nv

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace nv;
  if (size == 0) return 0;
  const uint8_t control = data[0];
  const std::string contents(reinterpret_cast<const char*>(data + 1), size - 1);

  fake::FakeWindows w;
  w.codePage.SetDoubleByte((control & 1) != 0);
  const bool closeFails = (control & 2) != 0;
  w.files.AddFile(kResponseFile, contents);
  if (closeFails) w.files.FailClose(kResponseFile);
  const CodePage& cp = w.codePage;
  const FileText file(cp, AsRead(contents));

  // Single values, each from a fresh read of the file.
  size_t reads = 0;
  for (const char* tag : {"PRODUCT1", "PARAMETER1", "PRODUCT2", "PRODUCT10", "Install"}) {
    for (const char* defaultValue : {"", kEmptyValueMarker}) {
      const std::string value = ReadResponseTag(w.platform, kResponseFile, tag, defaultValue);
      ++reads;
      const std::string expected = ModelTag(file, tag, defaultValue);
      FUZZ_CHECK(value == expected, std::string(tag) + ": " + Show(value) + ", the whole file gives " + Show(expected));
      FUZZ_CHECK(w.files.OpenFiles() == 0, "the response file stays open");
    }
  }
  FUZZ_CHECK(ReadResponseTag(w.platform, "D:\\media\\missing.xml", "PRODUCT1", "x").empty(), "missing file");
  FUZZ_CHECK(Boxes(w, kCloseFailed) == (closeFails ? reads : 0), "close failures reported " +
                                                                     std::to_string(Boxes(w, kCloseFailed)));

  // The counting pass.
  RunContext ctx(w.platform);
  ctx.options.responseFile = kResponseFile;
  ctx.options.logFile = kLogFile;
  OpenRunLog(ctx);
  const bool valid = BuildInstallPlan(ctx);
  CloseRunLog(ctx);
  const PlanModel model = ModelPlan(cp, file);
  const std::string log = w.files.Contents(kLogFile);
  FUZZ_CHECK(fuzz::StartsWithText(log, "Counting items to be launched.\n"), Show(log));
  FUZZ_CHECK(valid == model.valid, "valid=" + std::to_string(valid) + " log " + Show(log));
  FUZZ_CHECK(Boxes(w, kInvalidEntries) == (valid ? 0u : 1u), "invalid-entries message");
  FUZZ_CHECK(w.files.OpenFiles() == 0, "a file stays open after the counting pass");
  // Invalid entries: the items before the bad one are logged, and nothing
  // after them.
  FUZZ_CHECK(log == model.log, Show(log) + "\nexpected\n" + Show(model.log));
  if (valid) {
    FUZZ_CHECK(ctx.plan.itemCount == model.itemCount && ctx.plan.itemCount >= 0,
               std::to_string(ctx.plan.itemCount) + " items, expected " + std::to_string(model.itemCount));
    FUZZ_CHECK(ctx.plan.coreDir == model.coreDir, Show(ctx.plan.coreDir) + " expected " + Show(model.coreDir));
    FUZZ_CHECK(ctx.plan.coreDir.empty() || fuzz::EndsWithText(ctx.plan.coreDir, "\\"), Show(ctx.plan.coreDir));
    FUZZ_CHECK(ctx.plan.mediaPrefix.empty(), "a media prefix without an alternative source");
  }

  // The launch pass's reads: the product without its quotes, the parameter
  // as written, both empty when missing or empty.
  for (int n = 1; n <= 3; ++n) {
    const InstallItem item = ReadItem(w.platform, kResponseFile, n);
    const std::string product = StripQuotes(cp, ModelTag(file, "PRODUCT" + std::to_string(n), ""));
    const std::string parameter = ModelTag(file, "PARAMETER" + std::to_string(n), "");
    FUZZ_CHECK(item.product == product, Show(item.product) + " expected " + Show(product));
    FUZZ_CHECK(item.parameter == parameter, Show(item.parameter) + " expected " + Show(parameter));
  }
  FUZZ_CHECK(w.files.OpenFiles() == 0, "a file stays open after the item reads");
  return 0;
}
