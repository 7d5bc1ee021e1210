#include "places/hidden_entry.h"

namespace places {

// A name that starts with a dot is hidden.
bool isHidden(const std::filesystem::path& entry) {
    return entry.filename().native().starts_with('.');
}

} // namespace places
