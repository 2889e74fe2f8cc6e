// The fake file system: a map of nodes keyed by their lower-cased full path.

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/fake/fake_platform.h"
#include "platform/text.h"

namespace nv {
namespace fake {

namespace {

const FakeCodePage& DefaultCodePage() {
  static const FakeCodePage cp;
  return cp;
}

bool IsSeparatorAt(const CodePage& cp, const std::string& text, size_t pos) {
  return MbCharLength(cp, text, pos) == 1 && (text[pos] == '\\' || text[pos] == '/');
}

// Splits at single-byte "\" and "/"; empty elements are kept.
std::vector<std::string> SplitElements(const CodePage& cp, const std::string& text) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < text.size();) {
    size_t len = MbCharLength(cp, text, i);
    if (IsSeparatorAt(cp, text, i)) {
      parts.emplace_back();
    } else {
      parts.back().append(text, i, len);
    }
    i += len;
  }
  return parts;
}

bool HasWildcard(const CodePage& cp, const std::string& text) {
  for (size_t i = 0; i < text.size(); i += MbCharLength(cp, text, i)) {
    if (MbCharLength(cp, text, i) == 1 && (text[i] == '*' || text[i] == '?')) return true;
  }
  return false;
}

// Trailing dots and blanks of an element mean nothing to Win32 ("a." is "a").
std::string StripTrailingDotsAndBlanks(const CodePage& cp, const std::string& element) {
  if (element == "." || element == "..") return element;
  std::string out = element;
  for (;;) {
    std::string trimmed = MbTrimRightChar(cp, MbTrimRightChar(cp, out, '.'), ' ');
    if (trimmed == out) return out;
    out = trimmed;
  }
}

// One character of a name or pattern: its bytes, or a wildcard kind.
struct Token {
  enum Kind { Literal, Star, DosStar, DosQm, DosDot } kind = Literal;
  std::string text;
};

std::vector<std::string> Characters(const CodePage& cp, const std::string& text) {
  std::vector<std::string> chars;
  for (size_t i = 0; i < text.size();) {
    size_t len = MbCharLength(cp, text, i);
    chars.push_back(text.substr(i, len));
    i += len;
  }
  return chars;
}

// The pattern as FindFirstFileA hands it to the file system: every "?" is a
// DOS "?" (it also matches nothing before a dot or at the end), a "*" before
// a "." is a DOS "*" (it does not pass the name's last dot), and a "." before
// "?", "*" or at the end is a DOS "." (it also matches the end of the name).
std::vector<Token> CompilePattern(const CodePage& cp, const std::string& pattern) {
  std::vector<std::string> chars = Characters(cp, pattern);
  std::vector<Token> tokens;
  for (size_t i = 0; i < chars.size(); ++i) {
    const std::string& c = chars[i];
    const std::string next = i + 1 < chars.size() ? chars[i + 1] : std::string();
    Token t;
    t.text = c;
    if (c == "?") {
      t.kind = Token::DosQm;
    } else if (c == "*") {
      t.kind = next == "." ? Token::DosStar : Token::Star;
    } else if (c == "." && (next == "?" || next == "*" || next.empty())) {
      t.kind = Token::DosDot;
    }
    tokens.push_back(t);
  }
  return tokens;
}

class Matcher {
 public:
  Matcher(const CodePage& cp, const std::vector<Token>& pattern, const std::string& name)
      : cp_(cp), pattern_(pattern), name_(Characters(cp, name)),
        memo_((pattern.size() + 1) * (name_.size() + 1), -1) {
    for (size_t i = 0; i < name_.size(); ++i) {
      if (name_[i] == ".") lastDot_ = i;
    }
  }
  bool Match() { return At(0, 0); }

 private:
  bool Same(const std::string& a, const std::string& b) const {
    if (a.size() != b.size()) return false;
    if (a.size() == 1) return cp_.ToLower(static_cast<uint8_t>(a[0])) == cp_.ToLower(static_cast<uint8_t>(b[0]));
    return a == b;
  }

  bool At(size_t p, size_t n) {
    int& memo = memo_[p * (name_.size() + 1) + n];
    if (memo < 0) memo = Compute(p, n) ? 1 : 0;
    return memo == 1;
  }

  bool Compute(size_t p, size_t n) {
    const size_t count = name_.size();
    if (p == pattern_.size()) return n == count;
    const Token& t = pattern_[p];
    switch (t.kind) {
      case Token::Star:
        for (size_t k = n; k <= count; ++k) {
          if (At(p + 1, k)) return true;
        }
        return false;
      case Token::DosStar: {
        size_t limit = (lastDot_ != std::string::npos && lastDot_ >= n) ? lastDot_ : count;
        for (size_t k = n; k <= limit; ++k) {
          if (At(p + 1, k)) return true;
        }
        return false;
      }
      case Token::DosQm:
        if (n == count || name_[n] == ".") return At(p + 1, n);
        return At(p + 1, n + 1);
      case Token::DosDot:
        if (n < count && name_[n] == ".") return At(p + 1, n + 1);
        return n == count && At(p + 1, n);
      case Token::Literal:
        return n < count && Same(name_[n], t.text) && At(p + 1, n + 1);
    }
    return false;
  }

  const CodePage& cp_;
  const std::vector<Token>& pattern_;
  std::vector<std::string> name_;
  size_t lastDot_ = std::string::npos;
  std::vector<int> memo_;
};

std::string UpperAscii(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// ---------------------------------------------------------------- readers and writers

class FakeReader : public TextReader {
 public:
  FakeReader(FakeFileSystem& fs, std::string path, std::string contents, const FileStamp& stamp)
      : fs_(fs), path_(std::move(path)), contents_(std::move(contents)), stamp_(stamp) {
    fs_.AdjustOpenFiles(1);
  }
  bool Stamp(FileStamp* stamp) override {
    if (closed_ || fs_.Fails(Call::FileRead)) return false;
    *stamp = stamp_;
    return true;
  }
  ~FakeReader() override {
    if (!closed_) fs_.AdjustOpenFiles(-1);
  }
  bool ReadLine(size_t maxChars, std::string* line) override {
    line->clear();
    if (closed_ || pos_ >= contents_.size() || maxChars == 0) return false;
    if (fs_.Fails(Call::FileRead)) {
      failed_ = true;
      return false;
    }
    while (pos_ < contents_.size() && line->size() < maxChars) {
      char c = contents_[pos_++];
      line->push_back(c);
      if (c == '\n') break;
    }
    // The caller gets the text as a C string: a zero ends it, and what
    // follows up to the line end is read but lost, as with fgets.
    size_t zero = line->find('\0');
    if (zero != std::string::npos) line->resize(zero);
    return true;
  }
  bool ReadFailed() override { return failed_; }
  bool Close() override {
    if (closed_) return false;
    closed_ = true;
    fs_.AdjustOpenFiles(-1);
    fs_.Record("Close " + path_);
    return !fs_.Fails(Call::FileClose) && !fs_.CloseFails(path_);
  }

 private:
  FakeFileSystem& fs_;
  std::string path_;
  std::string contents_;
  FileStamp stamp_;
  size_t pos_ = 0;
  bool closed_ = false;
  bool failed_ = false;
};

// The fake keeps no clock for its files: a reader's stamp is made from the
// file's path and its bytes as they were when it was opened, so it changes
// exactly when they do, and a write is always settled. Each fake file system
// is a machine of its own, whose files were created at other times.
FileStamp StampOf(uint64_t machine, const std::string& key, const std::string& bytes) {
  FileStamp stamp;
  stamp.size = bytes.size();
  stamp.created = std::hash<std::string>()(key) + machine;
  stamp.lastWrite = std::hash<std::string>()(bytes);
  stamp.changed = stamp.lastWrite;
  stamp.settled = true;
  return stamp;
}

class FakeWriter : public TextWriter {
 public:
  FakeWriter(FakeFileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {
    fs_.AdjustOpenFiles(1);
  }
  ~FakeWriter() override {
    if (!closed_) fs_.AdjustOpenFiles(-1);
  }
  void Write(const std::string& text) override {
    if (closed_) return;
    fs_.Record("Write " + path_ + " " + text);
    // A failed write lands in part (a disk that filled up) or not at all.
    const size_t lands = !fs_.Fails(Call::FileWrite) ? text.size() : fs_.variant() % 2 == 0 ? text.size() / 2 : 0;
    // Writes to a file that a test removed meanwhile are dropped.
    FakeFileSystem::Node* node = fs_.Lookup(path_);
    if (node != nullptr && !node->dir) node->contents.append(text, 0, lands);
  }
  bool Close() override {
    if (closed_) return false;
    closed_ = true;
    fs_.AdjustOpenFiles(-1);
    fs_.Record("Close " + path_);
    return !fs_.Fails(Call::FileClose) && !fs_.CloseFails(path_);
  }

 private:
  FakeFileSystem& fs_;
  std::string path_;
  bool closed_ = false;
};

// fopen's text mode: CR LF reads as LF and Ctrl+Z ends the file.
std::string TextModeView(const std::string& contents) {
  std::string out;
  for (size_t i = 0; i < contents.size(); ++i) {
    char c = contents[i];
    if (c == '\x1a') break;
    if (c == '\r' && i + 1 < contents.size() && contents[i + 1] == '\n') continue;
    out.push_back(c);
  }
  return out;
}

std::string Hex(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%x", static_cast<unsigned>(value));
  return buffer;
}

FindEntry EntryOf(const FakeFileSystem::Node& node) {
  FindEntry entry{node.name, node.shortName, node.attributes, 0};
  if ((node.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) entry.reparseTag = node.reparseTag;
  return entry;
}

}  // namespace

// ---------------------------------------------------------------- paths

struct FakeFileSystem::Parsed {
  bool valid = false;
  std::string root;                   // "C:" or "\\server\share", case kept
  std::vector<std::string> elements;  // resolved, case kept
  bool trailingSeparator = false;     // the text ended in "\" or "/"
  bool isRoot() const { return elements.empty(); }
};

FakeFileSystem::Parsed FakeFileSystem::Parse(const std::string& path) const {
  const CodePage& cp = *codePage_;
  Parsed out;
  if (path.empty()) return out;
  std::string rest;
  const bool unc = path.size() >= 2 && IsSeparatorAt(cp, path, 0) && IsSeparatorAt(cp, path, 1);
  if (unc) {
    std::vector<std::string> parts = SplitElements(cp, path.substr(2));
    if (parts.size() < 2 || parts[0].empty() || parts[1].empty()) return out;
    out.root = "\\\\" + parts[0] + "\\" + parts[1];
    for (size_t i = 2; i < parts.size(); ++i) rest += "\\" + parts[i];
  } else if (path.size() >= 2 && path[1] == ':' && MbCharLength(cp, path, 0) == 1 &&
             std::isalpha(static_cast<unsigned char>(path[0]))) {
    out.root = std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])))) + ":";
    rest = path.substr(2);
    if (rest.empty() || !IsSeparatorAt(cp, rest, 0)) {
      // Drive-relative: from the current folder when it is on that drive.
      Parsed current = Parse(currentDir_);
      if (current.valid && MbEqualNoCase(cp, current.root, out.root)) {
        std::string joined;
        for (const std::string& e : current.elements) joined += "\\" + e;
        rest = joined + "\\" + rest;
      } else {
        rest = "\\" + rest;
      }
    }
  } else if (IsSeparatorAt(cp, path, 0)) {
    Parsed current = Parse(currentDir_);
    out.root = current.root;
    rest = path;
  } else {
    return Parse(MbTrimRightChar(cp, currentDir_, '\\') + "\\" + path);
  }
  std::vector<std::string> raw = SplitElements(cp, rest);
  out.trailingSeparator = raw.size() > 1 && raw.back().empty();
  for (const std::string& text : raw) {
    if (text.empty() || text == ".") continue;
    if (text == "..") {
      if (!out.elements.empty()) out.elements.pop_back();
      continue;
    }
    std::string element = StripTrailingDotsAndBlanks(cp, text);
    if (element.empty()) continue;
    out.elements.push_back(element);
  }
  out.valid = true;
  return out;
}

std::string FakeFileSystem::FullPath(const std::string& path) const {
  Parsed p = Parse(path);
  if (!p.valid) return std::string();
  if (p.isRoot()) return p.root + "\\";
  std::string out = p.root;
  for (const std::string& e : p.elements) out += "\\" + e;
  return out;
}

std::string FakeFileSystem::Key(const std::string& path) const {
  Parsed p = Parse(path);
  if (!p.valid) return std::string();
  std::string out = p.root;
  for (const std::string& e : p.elements) out += "\\" + e;
  return MbLower(*codePage_, out);
}

std::string FakeFileSystem::ResolvedKey(const std::string& path) const {
  Parsed p = Parse(path);
  if (!p.valid) return std::string();
  std::string key = p.root;
  for (const std::string& e : p.elements) key += "\\" + e;
  key = MbLower(*codePage_, key);
  if (shortNames_.empty() || nodes_.count(key) != 0) return key;
  std::string resolved = MbLower(*codePage_, p.root);
  for (const std::string& element : p.elements) {
    resolved += "\\" + MbLower(*codePage_, element);
    if (nodes_.count(resolved) != 0) continue;
    auto alias = shortNames_.find(resolved);
    if (alias == shortNames_.end() || nodes_.count(alias->second) == 0) return key;
    resolved = alias->second;
  }
  return resolved;
}

FakeFileSystem::Node* FakeFileSystem::Lookup(const std::string& path) {
  std::string key = ResolvedKey(path);
  auto it = nodes_.find(key);
  return (key.empty() || it == nodes_.end()) ? nullptr : &it->second;
}

const FakeFileSystem::Node* FakeFileSystem::Lookup(const std::string& path) const {
  return const_cast<FakeFileSystem*>(this)->Lookup(path);
}

std::vector<const FakeFileSystem::Node*> FakeFileSystem::Children(const std::string& folderKey) const {
  std::vector<const Node*> out;
  for (const auto& [key, node] : nodes_) {
    if (node.parentKey == folderKey && !node.parentKey.empty()) out.push_back(&node);
  }
  std::stable_sort(out.begin(), out.end(), [](const Node* a, const Node* b) {
    return UpperAscii(a->name) < UpperAscii(b->name);
  });
  return out;
}

// ---------------------------------------------------------------- set-up

FakeFileSystem::FakeFileSystem() : codePage_(&DefaultCodePage()) {
  static uint64_t machines = 0;
  machine_ = ++machines;
  MakeDir("C:\\");
  MakeDir("D:\\");
  MakeDir(tempPath_);
  MakeDir(systemDirectory_);
  MakeFile(moduleFileName_, "MZ", FILE_ATTRIBUTE_ARCHIVE);
  SetFileVersion(systemDirectory_ + "\\msi.dll", (5u << 16) | 0u, (19041u << 16) | 1u);
  SetFileVersion(systemDirectory_ + "\\kernel32.dll", (10u << 16) | 0u, (19041u << 16) | 1u);
  MakeFile(systemDirectory_ + "\\net.exe", std::string(), FILE_ATTRIBUTE_ARCHIVE);
}

void FakeFileSystem::SetCodePage(const CodePage* codePage) {
  codePage_ = codePage != nullptr ? codePage : &DefaultCodePage();
}

FakeFileSystem::Node* FakeFileSystem::MakeDir(const std::string& path, uint32_t attributes) {
  Parsed p = Parse(path);
  if (!p.valid) return nullptr;
  std::string key = MbLower(*codePage_, p.root);
  Node* node = &nodes_[key];
  if (node->path.empty()) {
    node->name = p.root;
    node->path = p.root + "\\";
    node->dir = true;
    node->attributes = FILE_ATTRIBUTE_DIRECTORY;
  }
  std::string full = p.root;
  for (size_t i = 0; i < p.elements.size(); ++i) {
    const std::string parentKey = key;
    full += "\\" + p.elements[i];
    key += "\\" + MbLower(*codePage_, p.elements[i]);
    Node& child = nodes_[key];
    if (!child.path.empty() && !child.dir) return nullptr;  // a file stands in the way
    if (child.path.empty()) {
      child.name = p.elements[i];
      child.path = full;
      child.parentKey = parentKey;
      child.dir = true;
      child.attributes = FILE_ATTRIBUTE_DIRECTORY;
      if (i + 1 == p.elements.size()) child.attributes = attributes | FILE_ATTRIBUTE_DIRECTORY;
    }
    node = &child;
  }
  return node;
}

FakeFileSystem::Node* FakeFileSystem::MakeFile(const std::string& path, const std::string& contents,
                                               uint32_t attributes) {
  Parsed p = Parse(path);
  if (!p.valid || p.isRoot()) return nullptr;
  Node* existing = Lookup(path);
  if (existing != nullptr) {
    if (existing->dir) return nullptr;
    existing->contents = contents;
    return existing;
  }
  std::string parent = p.root + "\\";
  for (size_t i = 0; i + 1 < p.elements.size(); ++i) parent += p.elements[i] + "\\";
  Node* folder = MakeDir(parent);
  if (folder == nullptr || !folder->dir) return nullptr;
  Node& node = nodes_[Key(path)];
  node.name = p.elements.back();
  node.path = FullPath(path);
  node.parentKey = Key(parent);
  node.dir = false;
  node.attributes = attributes;
  node.contents = contents;
  return &node;
}

void FakeFileSystem::Erase(const std::string& path) {
  std::string key = Key(path);
  if (key.empty()) return;
  std::string prefix = key + "\\";
  for (auto it = nodes_.begin(); it != nodes_.end();) {
    if (it->first == key || it->first.compare(0, prefix.size(), prefix) == 0) {
      it = nodes_.erase(it);
    } else {
      ++it;
    }
  }
}

void FakeFileSystem::AddFile(const std::string& path, const std::string& contents, uint32_t attributes) {
  Node* node = MakeFile(path, contents, attributes);
  if (node != nullptr) node->attributes = attributes;
}

void FakeFileSystem::AddDir(const std::string& path, uint32_t attributes) { MakeDir(path, attributes); }

void FakeFileSystem::SetFileVersion(const std::string& path, uint32_t versionMS, uint32_t versionLS) {
  Node* node = Lookup(path);
  if (node == nullptr) node = MakeFile(path, "MZ", FILE_ATTRIBUTE_ARCHIVE);
  if (node == nullptr) return;
  node->hasVersion = true;
  node->versionMS = versionMS;
  node->versionLS = versionLS;
}

void FakeFileSystem::SetCurrentDir(const std::string& path) {
  // Kept as a full path, so that resolving a relative path never recurses.
  const std::string full = FullPath(path);
  if (!full.empty()) currentDir_ = full;
}

void FakeFileSystem::SetTempPath(const std::string& path) {
  tempPath_ = path;
  if (!path.empty()) MakeDir(path);
}

void FakeFileSystem::SetModuleFileName(const std::string& path) {
  moduleFileName_ = path;
  if (!path.empty() && Lookup(path) == nullptr) MakeFile(path, "MZ", FILE_ATTRIBUTE_ARCHIVE);
}

void FakeFileSystem::SetSystemDirectory(const std::string& path) {
  systemDirectory_ = path;
  if (!path.empty()) MakeDir(path);
}

void FakeFileSystem::SetShortPath(const std::string& path, const std::string& shortPath) {
  shortPaths_[Key(path)] = shortPath;
}

void FakeFileSystem::SetShortName(const std::string& path, const std::string& shortName) {
  Node* node = Lookup(path);
  if (node == nullptr || node->parentKey.empty()) return;
  if (!node->shortName.empty()) shortNames_.erase(node->parentKey + "\\" + MbLower(*codePage_, node->shortName));
  node->shortName = shortName;
  shortNames_[node->parentKey + "\\" + MbLower(*codePage_, shortName)] = Key(node->path);
}

void FakeFileSystem::SetReparseTag(const std::string& path, uint32_t tag) {
  Node* node = Lookup(path);
  if (node != nullptr) node->reparseTag = tag;
}

void FakeFileSystem::FailShortPath(const std::string& path) { failShort_.insert(Key(path)); }
void FakeFileSystem::FailOpen(const std::string& path) { failOpen_.insert(Key(path)); }
void FakeFileSystem::FailClose(const std::string& path) { failClose_.insert(Key(path)); }
void FakeFileSystem::FailCreate(const std::string& path) { failCreate_.insert(Key(path)); }
void FakeFileSystem::FailRemove(const std::string& path) { failRemove_.insert(Key(path)); }
void FakeFileSystem::FailList(const std::string& folder) { failList_.insert(Key(folder)); }
void FakeFileSystem::FailMove(const std::string& to) { failMove_.insert(Key(to)); }

bool FakeFileSystem::CloseFails(const std::string& path) const { return failClose_.count(Key(path)) != 0; }
bool FakeFileSystem::RemoveFails(const std::string& path) const { return failRemove_.count(Key(path)) != 0; }

void FakeFileSystem::PutContents(const std::string& path, const std::string& contents) {
  MakeFile(path, contents, FILE_ATTRIBUTE_ARCHIVE);
}

// ---------------------------------------------------------------- inspection

bool FakeFileSystem::Exists(const std::string& path) const { return Lookup(path) != nullptr; }

bool FakeFileSystem::IsDir(const std::string& path) const {
  const Node* node = Lookup(path);
  return node != nullptr && node->dir;
}

std::string FakeFileSystem::Contents(const std::string& path) const {
  const Node* node = Lookup(path);
  return node != nullptr ? node->contents : std::string();
}

uint32_t FakeFileSystem::Attributes(const std::string& path) const {
  const Node* node = Lookup(path);
  return node != nullptr ? node->attributes : 0;
}

std::vector<std::string> FakeFileSystem::ListTree(const std::string& folder) const {
  std::vector<std::string> out;
  std::string key = Key(folder);
  if (key.empty()) return out;
  std::string prefix = key + "\\";
  for (const auto& [k, node] : nodes_) {
    if (k.compare(0, prefix.size(), prefix) == 0) out.push_back(node.path);
  }
  std::sort(out.begin(), out.end());
  return out;
}

// ---------------------------------------------------------------- FileSystem

std::vector<FindEntry> FakeFileSystem::Find(const std::string& pattern) {
  searches_.push_back(pattern);
  if (Fails(Call::Search)) return {};
  return FindEntries(pattern);
}

std::vector<FindEntry> FakeFileSystem::FindEntries(const std::string& pattern) const {
  std::vector<FindEntry> out;
  Parsed p = Parse(pattern);
  if (!p.valid || p.isRoot() || p.trailingSeparator) return out;
  // The last element is taken as written (a pattern keeps its dots); only the
  // folder part is resolved.
  std::vector<std::string> raw = SplitElements(*codePage_, pattern);
  const std::string mask = raw.back();
  if (mask.empty()) return out;
  for (size_t i = 0; i + 1 < raw.size(); ++i) {
    if (HasWildcard(*codePage_, raw[i])) return out;
  }
  if (!HasWildcard(*codePage_, mask)) {
    const Node* node = Lookup(pattern);
    if (node != nullptr && !node->parentKey.empty()) out.push_back(EntryOf(*node));
    return out;
  }
  std::string folderText = pattern.substr(0, pattern.size() - mask.size());
  if (folderText.empty()) folderText = currentDir_;
  const Node* folder = Lookup(folderText);
  if (folder == nullptr || !folder->dir) return out;
  const std::string folderKey = ResolvedKey(folderText);
  if (failList_.count(folderKey) != 0) return out;
  std::vector<Token> tokens = CompilePattern(*codePage_, mask);
  if (!folder->parentKey.empty()) {
    for (const char* dots : {".", ".."}) {
      if (Matcher(*codePage_, tokens, dots).Match()) out.push_back(FindEntry{dots, "", FILE_ATTRIBUTE_DIRECTORY, 0});
    }
  }
  for (const Node* child : Children(folderKey)) {
    if (Matcher(*codePage_, tokens, child->name).Match() ||
        (!child->shortName.empty() && Matcher(*codePage_, tokens, child->shortName).Match())) {
      out.push_back(EntryOf(*child));
    }
  }
  return out;
}

bool FakeFileSystem::CreateDir(const std::string& path) {
  Record("CreateDir " + path);
  if (Fails(Call::FileCreate)) return false;
  Parsed p = Parse(path);
  if (!p.valid || p.isRoot() || Lookup(path) != nullptr) return false;
  std::string parent = p.root + "\\";
  for (size_t i = 0; i + 1 < p.elements.size(); ++i) parent += p.elements[i] + "\\";
  const Node* folder = Lookup(parent);
  if (folder == nullptr || !folder->dir) return false;
  return MakeDir(path) != nullptr;
}

bool FakeFileSystem::RemoveDir(const std::string& path) {
  Record("RemoveDir " + path);
  if (Fails(Call::FileChange)) return false;
  Node* node = Lookup(path);
  if (node == nullptr || !node->dir || node->parentKey.empty() || RemoveFails(path)) return false;
  if ((node->attributes & FILE_ATTRIBUTE_READONLY) != 0) return false;
  // A junction or link goes whatever its target holds (here: the entries
  // below it, which stand for the target's).
  const bool link = (node->attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (!link && !Children(Key(path)).empty()) return false;
  Erase(path);
  return true;
}

bool FakeFileSystem::DeleteOneFile(const std::string& path) {
  Record("DeleteFile " + path);
  if (Fails(Call::FileChange)) return false;
  Node* node = Lookup(path);
  if (node == nullptr || node->dir || RemoveFails(path)) return false;
  if ((node->attributes & FILE_ATTRIBUTE_READONLY) != 0) return false;
  Erase(path);
  return true;
}

bool FakeFileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  Record("SetAttributes " + path + " " + Hex(attributes));
  if (Fails(Call::FileChange)) return false;
  Node* node = Lookup(path);
  if (node == nullptr) return false;
  // Only these can be set; FILE_ATTRIBUTE_NORMAL only counts alone, and the
  // others (directory, reparse point, ...) stay as they are.
  const uint32_t settable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                            FILE_ATTRIBUTE_ARCHIVE | 0x100 /* temporary */ | 0x1000 /* offline */ |
                            0x2000 /* not content indexed */;
  const uint32_t kept = node->attributes & ~(settable | FILE_ATTRIBUTE_NORMAL);
  node->attributes = kept | (attributes & settable);
  if (node->attributes == 0) node->attributes = FILE_ATTRIBUTE_NORMAL;
  return true;
}

bool FakeFileSystem::Access(const std::string& path) {
  if (Fails(Call::Search)) return false;
  Parsed p = Parse(path);
  if (!p.valid) return false;
  const Node* node = Lookup(path);
  if (node == nullptr) return false;
  return node->dir || !p.trailingSeparator;
}

std::string FakeFileSystem::ShortPathName(const std::string& path) {
  if (Fails(Call::Folder) || failShort_.count(Key(path)) != 0 || Lookup(path) == nullptr) return std::string();
  auto it = shortPaths_.find(Key(path));
  std::string result = it != shortPaths_.end() ? it->second : path;
  return result.size() < 260 ? result : std::string();
}

// As the real calls answer into their 260-character buffers: a path that
// does not fit with its zero is no answer at all, never a cut one.
static std::string Fitting(const std::string& path) { return path.size() < 260 ? path : std::string(); }

std::string FakeFileSystem::TempPath() { return Fails(Call::Folder) ? std::string() : Fitting(tempPath_); }

std::string FakeFileSystem::ModuleFileName() { return Fails(Call::Folder) ? std::string() : Fitting(moduleFileName_); }

std::string FakeFileSystem::SystemDirectory() { return Fails(Call::Folder) ? std::string() : Fitting(systemDirectory_); }

bool FakeFileSystem::FileVersion(const std::string& path, uint32_t* versionMS, uint32_t* versionLS) {
  if (Fails(Call::Version)) return false;
  const Node* node = Lookup(path);
  if (node == nullptr || node->dir || !node->hasVersion) return false;
  *versionMS = node->versionMS;
  *versionLS = node->versionLS;
  return true;
}

std::unique_ptr<TextReader> FakeFileSystem::OpenText(const std::string& path) {
  Record("Open " + path);
  if (Fails(Call::FileOpen)) return nullptr;
  const Node* node = Lookup(path);
  if (node == nullptr || node->dir || failOpen_.count(Key(path)) != 0) return nullptr;
  return std::make_unique<FakeReader>(*this, path, TextModeView(node->contents), StampOf(machine_, Key(path), node->contents));
}

std::unique_ptr<TextWriter> FakeFileSystem::CreateNewCommitted(const std::string& path) {
  if (Lookup(path) != nullptr) {
    Record("CreateNew " + path + " -> exists");
    return nullptr;
  }
  return CreateCommitted(path);
}

std::unique_ptr<TextWriter> FakeFileSystem::CreateCommitted(const std::string& path) {
  Record("Create " + path);
  if (Fails(Call::FileCreate)) return nullptr;
  Parsed p = Parse(path);
  if (!p.valid || p.isRoot() || p.trailingSeparator || failCreate_.count(Key(path)) != 0) return nullptr;
  Node* node = Lookup(path);
  if (node != nullptr) {
    if (node->dir || (node->attributes & FILE_ATTRIBUTE_READONLY) != 0) return nullptr;
    node->contents.clear();
  } else {
    std::string parent = p.root + "\\";
    for (size_t i = 0; i + 1 < p.elements.size(); ++i) parent += p.elements[i] + "\\";
    const Node* folder = Lookup(parent);
    if (folder == nullptr || !folder->dir) return nullptr;
    if (MakeFile(path, std::string(), FILE_ATTRIBUTE_ARCHIVE) == nullptr) return nullptr;
  }
  return std::make_unique<FakeWriter>(*this, path);
}

uint32_t FakeFileSystem::WriteWholeFile(const std::string& path, const std::string& bytes) {
  // As a committed text file, whose calls and faults it shares.
  std::unique_ptr<TextWriter> writer = CreateCommitted(path);
  if (!writer) {
    return Exists(path) || Exists(path.substr(0, path.rfind('\\'))) ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
  }
  writer->Write(bytes);
  // Unlike a text file's, a write that did not land whole (a full disk) is
  // reported.
  const bool whole = Contents(path).size() == bytes.size();
  return writer->Close() && whole ? 0 : ERROR_DISK_FULL;
}

uint32_t FakeFileSystem::MoveReplacing(const std::string& from, const std::string& to) {
  Record("Move " + from + " " + to);
  if (Fails(Call::FileChange)) return ERROR_ACCESS_DENIED;
  const Node* source = Lookup(from);
  if (source == nullptr || source->dir) return ERROR_FILE_NOT_FOUND;
  const Node* target = Lookup(to);
  if (failMove_.count(Key(to)) != 0 || (target != nullptr && target->dir) || RemoveFails(from)) {
    return ERROR_ACCESS_DENIED;
  }
  const std::string contents = source->contents;
  if (MakeFile(to, contents, FILE_ATTRIBUTE_ARCHIVE) == nullptr) return ERROR_PATH_NOT_FOUND;
  Erase(from);
  return 0;
}

}  // namespace fake
}  // namespace nv
