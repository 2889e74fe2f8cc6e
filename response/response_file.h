#pragma once
// Finding the response file and reading single values out of it. The file
// looks like XML but is not parsed: every value is found by a plain text
// search for its opening and closing tag, as a read of the file from its
// first line finds it. The file is opened for every value; its text is read
// again only when the file has changed since it was last read whole.

#include <string>

#include "platform/platform.h"

namespace nv {

struct RunContext;

// Settles options.responseFile: the path as given, else the program's folder
// followed by it, else (after a warning) the file the user picks in the
// file-open dialog, which also turns interactive mode on. False when no file
// was found and none was picked: the run must stop with exit code 1.
bool LocateResponseFile(RunContext& ctx);

// The file-open dialog for the response file: the chosen full path, or empty
// text when the user cancels.
std::string SelectResponseFile(RunContext& ctx);

// The text between the first "<tag>" (unless it stands at the file's very
// first character) and the next "</tag>" after it, with trailing white space
// removed. defaultValue when that leaves nothing; empty text when the tag or
// its closing tag is missing or the file cannot be opened. *unreadable (when
// given) tells whether the file could not be opened or a read failed before
// the value was found: the value is then unknown rather than missing.
std::string ReadResponseTag(Platform& platform, const std::string& path, const std::string& tag,
                            const std::string& defaultValue, bool* unreadable = nullptr);

}  // namespace nv
