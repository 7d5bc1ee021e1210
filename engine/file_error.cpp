#include "engine/file_error.h"

#include "engine/path_text.h"

namespace engine {

namespace {

class RefusalCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "morvane-patch"; }
    std::string message(int value) const override {
        switch (static_cast<Refusal>(value)) {
        case Refusal::notRegularFile:
            return "it is not a regular file";
        case Refusal::changedByAnotherProgram:
            return "it was changed by another program while it was being patched";
        case Refusal::temporaryFileTaken:
            return "another program put something else in the place of its temporary file";
        case Refusal::leadsToOwnFile:
            return "its name leads to a file the patch writes itself";
        case Refusal::isALink:
            return "it is a link";
        case Refusal::ownedByAnotherUser:
            return "it belongs to another user";
        case Refusal::writableByOthers:
            return "other users may write to it";
        case Refusal::hasOtherNames:
            return "it has other names (hard links)";
        }
        return "refused";
    }
};

std::string sentence(std::string_view operation, const std::filesystem::path& path,
                     std::string_view reason) {
    return "Could not " + std::string(operation) + " \"" + displayPath(path) +
           "\": " + std::string(reason) + ".";
}

} // namespace

const std::error_category& refusalCategory() noexcept {
    static const RefusalCategory category;
    return category;
}

FileError::FileError(std::string_view operation, const std::filesystem::path& path,
                     std::error_code code)
    : FileError(operation, path, code, code.message()) {}

FileError::FileError(std::string_view operation, const std::filesystem::path& path,
                     std::error_code code, std::string_view reason)
    : std::system_error(code)
    , text_(sentence(operation, path, reason)) {}

void check(std::error_code error, std::string_view operation, const std::filesystem::path& path) {
    if (error)
        throw FileError(operation, path, error);
}

} // namespace engine
