#include "response/response_file.h"

#include <cstring>
#include <memory>

#include "app/run_context.h"
#include "platform/text.h"

namespace nv {

namespace {

constexpr const char* kLocateCaption = "Norvasoft Unattended Installer";
constexpr const char* kReaderCaption = "Norvasoft Installer";
// fgets with a 1024-character buffer: at most 1023 characters per read.
constexpr size_t kReadChunk = 1023;

// A forward search for one tag in text that only ever grows at its end.
// Character boundaries are walked from a fixed start, so each position is
// looked at once in the whole read, however many reads it takes: searching
// the accumulated text again after every read would be quadratic in the size
// of a file without line ends. A match is reported only once the whole tag
// has arrived, which gives the same first match as a search over the text as
// it stands after each read.
class GrowingSearch {
 public:
  GrowingSearch(const CodePage& cp, const std::string& needle, size_t start)
      : cp_(cp), needle_(needle), pos_(start) {}

  // First occurrence at or after the start, on a character boundary counted
  // from the start; npos while none has arrived yet.
  size_t Next(const std::string& text) {
    // Tags are at least two characters long, so the walk only steps from a
    // position that has a following byte: a lead byte that ends the text so
    // far (its trail byte still to come) is never stepped over too early.
    while (pos_ + needle_.size() <= text.size()) {
      if (std::memcmp(text.data() + pos_, needle_.data(), needle_.size()) == 0) return pos_;
      pos_ += MbCharLength(cp_, text, pos_);
    }
    return std::string::npos;
  }

 private:
  const CodePage& cp_;
  const std::string& needle_;
  size_t pos_;
};

}  // namespace

bool LocateResponseFile(RunContext& ctx) {
  Platform& p = ctx.platform;
  RunOptions& o = ctx.options;
  // Without a response-file argument both searches would be for the program
  // folder itself ("...\"), which a find-first never matches.
  if (!o.responseFile.empty()) {
    if (!p.files.Find(o.responseFile).empty()) return true;
    std::string besideProgram = ctx.programDir + o.responseFile;
    if (!p.files.Find(besideProgram).empty()) {
      o.responseFile = besideProgram;
      return true;
    }
  }
  p.ui.ShowMessageBox(Owner::None, nullptr, "Could not locate the unattended response file " + o.responseFile,
                      kLocateCaption, MB_OK | MB_ICONWARNING);
  o.responseFile = SelectResponseFile(ctx);
  o.interactive = true;
  return !o.responseFile.empty();
}

std::string SelectResponseFile(RunContext& ctx) {
  // Pairs of NUL-terminated texts; the literal's own terminator adds the
  // closing second NUL.
  static const char kFilter[] = "All\0*.*\0XML response file\0*.XML\0";
  OpenFileRequest request;
  request.instance = ctx.instance;
  request.filter.assign(kFilter, sizeof(kFilter));
  request.filterIndex = 2;
  request.bufferSize = 260;
  request.title = "Select the response File";
  request.flags = OFN_EXPLORER | OFN_FILEMUSTEXIST;
  std::string chosen;
  if (!ctx.platform.ui.ShowOpenFileDialog(request, &chosen)) return std::string();
  return chosen;
}

std::string ReadResponseTag(Platform& platform, const std::string& path, const std::string& tag,
                            const std::string& defaultValue) {
  const CodePage& cp = platform.codePage;
  std::string result;
  std::unique_ptr<TextReader> reader = platform.files.OpenText(path);
  if (!reader) return result;

  const std::string openTag = "<" + tag + ">";
  const std::string closeTag = "</" + tag + ">";
  std::string text;  // everything read so far, from the start of the file
  GrowingSearch openSearch(cp, openTag, 0);
  size_t openAt = std::string::npos;
  std::unique_ptr<GrowingSearch> closeSearch;  // in the text after the opening tag
  std::string line;
  while (reader->ReadLine(kReadChunk, &line)) {
    text += line;
    if (openAt == std::string::npos) {
      openAt = openSearch.Next(text);
      if (openAt == std::string::npos) continue;
      // The first occurrence counts; one at the very first character of the
      // file is not recognised, and no later one can take its place.
      if (openAt == 0) break;
      closeSearch = std::make_unique<GrowingSearch>(cp, closeTag, openAt + openTag.size());
    }
    size_t closeAt = closeSearch->Next(text);
    if (closeAt == std::string::npos) continue;
    size_t valueAt = openAt + openTag.size();
    result = MbTrimRight(cp, text.substr(valueAt, closeAt - valueAt));
    if (result.empty()) result = defaultValue;
    break;
  }

  if (!reader->Close()) {
    platform.ui.ShowMessageBox(Owner::None, nullptr, "Could not close response file.", kReaderCaption,
                               MB_OK | MB_ICONINFORMATION);
  }
  return result;
}

}  // namespace nv
