// Linux: a path is bytes, and any byte outside UTF-8 is written as \xHH.

#include "engine/path_text.h"
#include "engine/path_text_escape.h"

namespace engine {

namespace fs = std::filesystem;

std::string displayName(const fs::path& name) {
    std::string out;
    splitUtf8(
        name.native(), [&](std::string_view run) { out += run; },
        [&](unsigned char byte) { appendEscape(out, "\\x", byte, 2); });
    return out;
}

std::string displayPath(const fs::path& path) {
    return displayName(path);
}

std::basic_string_view<fs::path::value_type> notInAName() {
    using namespace std::string_view_literals;
    return "/\0"sv;
}

bool isDeviceName(const fs::path&) {
    return false;
}

bool isWellFormed(const fs::path& path) {
    bool wellFormed = true;
    splitUtf8(
        path.native(), [](std::string_view) {}, [&](unsigned char) { wellFormed = false; });
    return wellFormed;
}

} // namespace engine
