// Linux: the user's date and time formats are those of the locale the environment names.

#include "engine/file_formats.h"

namespace engine {

std::string userDateText(const std::tm& localTime) {
    return logDateText(localTime, userLocale());
}

} // namespace engine
