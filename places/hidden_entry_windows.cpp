#include "places/hidden_entry.h"

#include <windows.h>

namespace places {

// Hidden and system files carry attributes, which the classic file list honours.
bool isHidden(const std::filesystem::path& entry) {
    const DWORD attributes = GetFileAttributesW(entry.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
}

} // namespace places
