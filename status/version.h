#pragma once
// Dotted decimal version texts: reading a file's version and comparing two
// versions part by part.

#include <string>

#include "platform/platform.h"

namespace nv {

// The file version of the file at path as "%d.%d.%d.%d" (each part 0 to
// 65535); empty text when the file has no version resource, cannot be read,
// or its path does not fit in 260 characters.
std::string GetFileVersionText(FileSystem& files, const std::string& path);

// -1 when first is the lower version, 1 when it is the higher one, 0 when
// they are equal part by part. Only the first 31 characters of each text
// count; a missing or non-numeric part counts as 0; each part is read as
// strtol reads a 32-bit long (leading blanks and a sign allowed, saturating
// at 2147483647 and -2147483648).
int CompareVersions(const CodePage& cp, const std::string& first, const std::string& second);

}  // namespace nv
