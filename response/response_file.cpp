#include "response/response_file.h"

#include <bitset>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <utility>

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

// The one response file of a run, read whole once and looked up in memory
// for as long as the file stays as it was. A run reads a value about four
// times per item, each time from the start of the file; without this, a
// file of a thousand items would be read some two thousand times over.
//
// The file is still opened and closed for every value, so that a file that
// has gone or cannot be opened reads as missing, and a failed close is
// reported, exactly as they would be without the cache. Its stamp, taken
// from the open file, tells whether the text kept here is still the file's.
class ResponseCache {
 public:
  // The text kept for this file in this state, or null.
  const std::string* Find(const CodePage& cp, const std::string& path, const FileStamp& stamp) const {
    if (!valid_ || path != path_ || !stamp.SameFileState(stamp_) || &cp != codePage_ || LeadBytes(cp) != leadBytes_) {
      return nullptr;
    }
    return &text_;
  }

  // Keeps the whole text of a file whose stamp has settled, and lists where
  // each "<name>" first stands on a character boundary.
  void Keep(const CodePage& cp, const std::string& path, const FileStamp& stamp, std::string text) {
    valid_ = true;
    path_ = path;
    stamp_ = stamp;
    codePage_ = &cp;
    leadBytes_ = LeadBytes(cp);
    text_ = std::move(text);
    firstTag_.clear();
    size_t nextClose = 0;  // the first ">" at or after the current position
    for (size_t pos = 0; pos < text_.size(); pos += MbCharLength(cp, text_, pos)) {
      if (text_[pos] != '<') continue;
      if (nextClose <= pos) {
        const void* at = std::memchr(text_.data() + pos + 1, '>', text_.size() - pos - 1);
        nextClose = at == nullptr ? text_.size() : static_cast<size_t>(static_cast<const char*>(at) - text_.data());
      }
      if (nextClose == text_.size()) break;  // no "<name>" can start here or later
      firstTag_.emplace(text_.substr(pos + 1, nextClose - pos - 1), pos);
    }
  }

  void Drop() { valid_ = false; }

  // Where the opening tag of name first stands in the kept text: npos when
  // it never does. Only for names without ">", whose opening tag ends at the
  // first ">" after its "<".
  size_t FirstOpeningTag(const std::string& name) const {
    auto found = firstTag_.find(name);
    return found == firstTag_.end() ? std::string::npos : found->second;
  }

 private:
  // Which bytes the code page takes for lead bytes: what the character
  // boundaries of the kept text rest on.
  static std::bitset<256> LeadBytes(const CodePage& cp) {
    std::bitset<256> lead;
    for (int b = 0; b < 256; ++b) lead[static_cast<size_t>(b)] = cp.IsLeadByte(static_cast<uint8_t>(b));
    return lead;
  }

  bool valid_ = false;
  std::string path_;
  FileStamp stamp_;
  const CodePage* codePage_ = nullptr;
  std::bitset<256> leadBytes_;
  std::string text_;
  std::unordered_map<std::string, size_t> firstTag_;
};

ResponseCache& Cache() {
  static ResponseCache cache;
  return cache;
}

// The value of tag in the whole text of the file, found as the reads from
// the start of the file find it: the first opening tag (none when it stands
// at the first character), then the first closing tag after it.
std::string ValueInText(const CodePage& cp, const ResponseCache& cache, const std::string& text,
                        const std::string& tag, const std::string& defaultValue) {
  const std::string openTag = "<" + tag + ">";
  const std::string closeTag = "</" + tag + ">";
  size_t openAt;
  if (tag.find('>') == std::string::npos) {
    openAt = cache.FirstOpeningTag(tag);
  } else {
    GrowingSearch openSearch(cp, openTag, 0);
    openAt = openSearch.Next(text);
  }
  if (openAt == std::string::npos || openAt == 0) return std::string();
  const size_t valueAt = openAt + openTag.size();
  GrowingSearch closeSearch(cp, closeTag, valueAt);
  const size_t closeAt = closeSearch.Next(text);
  if (closeAt == std::string::npos) return std::string();
  std::string result = MbTrimRight(cp, text.substr(valueAt, closeAt - valueAt));
  return result.empty() ? defaultValue : result;
}

// Closes the file; a failed close is reported, and the value read stands.
void CloseResponseFile(Platform& platform, TextReader& reader) {
  if (!reader.Close()) {
    platform.ui.ShowMessageBox(Owner::None, nullptr, "Could not close response file.", kReaderCaption,
                               MB_OK | MB_ICONINFORMATION);
  }
}

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
                            const std::string& defaultValue, bool* unreadable) {
  const CodePage& cp = platform.codePage;
  std::string result;
  if (unreadable != nullptr) *unreadable = false;
  std::unique_ptr<TextReader> reader = platform.files.OpenText(path);
  if (!reader) {
    if (unreadable != nullptr) *unreadable = true;
    return result;
  }

  ResponseCache& cache = Cache();
  FileStamp stamp;
  const bool stamped = reader->Stamp(&stamp);
  const std::string* kept = stamped ? cache.Find(cp, path, stamp) : nullptr;
  if (kept != nullptr) {
    result = ValueInText(cp, cache, *kept, tag, defaultValue);
    CloseResponseFile(platform, *reader);
    return result;
  }
  // Read from the start as far as the value; a file whose state is known
  // and settled is read to its end and kept for the next values.
  const bool keep = stamped && stamp.settled;

  const std::string openTag = "<" + tag + ">";
  const std::string closeTag = "</" + tag + ">";
  std::string text;  // everything read so far, from the start of the file
  GrowingSearch openSearch(cp, openTag, 0);
  size_t openAt = std::string::npos;
  std::unique_ptr<GrowingSearch> closeSearch;  // in the text after the opening tag
  std::string line;
  bool found = false;
  while (reader->ReadLine(kReadChunk, &line)) {
    text += line;
    if (found) continue;
    if (openAt == std::string::npos) {
      openAt = openSearch.Next(text);
      if (openAt == std::string::npos) continue;
      // The first occurrence counts; one at the very first character of the
      // file is not recognised, and no later one can take its place.
      if (openAt == 0) {
        found = true;
        if (keep) continue;
        break;
      }
      closeSearch = std::make_unique<GrowingSearch>(cp, closeTag, openAt + openTag.size());
    }
    size_t closeAt = closeSearch->Next(text);
    if (closeAt == std::string::npos) continue;
    size_t valueAt = openAt + openTag.size();
    result = MbTrimRight(cp, text.substr(valueAt, closeAt - valueAt));
    if (result.empty()) result = defaultValue;
    found = true;
    if (!keep) break;
  }
  // A read that failed is no end of the file: the text read is not the
  // whole file, and a value beyond it is unknown.
  const bool readFailed = reader->ReadFailed();
  if (keep && !readFailed) {
    cache.Keep(cp, path, stamp, std::move(text));
  } else {
    cache.Drop();
  }
  if (readFailed && !found && unreadable != nullptr) *unreadable = true;

  CloseResponseFile(platform, *reader);
  return result;
}

}  // namespace nv
