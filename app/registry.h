#pragma once
// The two registry reads the run makes, both on HKEY_LOCAL_MACHINE with query
// access only; the key is closed whatever happened.

#include <cstddef>
#include <string>

#include "platform/platform.h"

namespace nv {

// Reads a value's data as text into *value (cleared first) through a buffer
// of bufferSize bytes. True when the key opened and the value was read; a
// value whose data does not fit reads as failure.
bool ReadRegistryString(Registry& registry, RegRoot root, const std::string& subkey, const std::string& valueName,
                        std::string* value, size_t bufferSize = 260);

// True when the key opens and the value exists. Only presence counts: any
// type, size and content, even 0, is present.
bool RegistryValuePresent(Registry& registry, RegRoot root, const std::string& subkey,
                          const std::string& valueName);

}  // namespace nv
