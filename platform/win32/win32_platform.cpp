#include "platform/win32/win32_platform.h"

namespace nv {
namespace win32 {

Win32Windows::Win32Windows() : platform{files, registry, installer, shell, processes, ui, system, codePage} {}

}  // namespace win32
}  // namespace nv
