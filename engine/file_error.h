#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace engine {

// Why a file was refused when no call to the system failed: the run looked and said no.
enum class Refusal {
    notRegularFile = 1,
    changedByAnotherProgram,
    temporaryFileTaken,
    leadsToOwnFile,
    // The log and its folder are refused when they could lead the run's writing elsewhere.
    isALink,
    ownedByAnotherUser,
    writableByOthers,
    hasOtherNames,
};

const std::error_category& refusalCategory() noexcept;

inline std::error_code make_error_code(Refusal refusal) noexcept {
    return {static_cast<int>(refusal), refusalCategory()};
}

} // namespace engine

namespace std {
template <> struct is_error_code_enum<engine::Refusal> : true_type {};
} // namespace std

namespace engine {

// A file operation that failed, in words a user understands:
// what() reads "Could not <operation> "<path>": <reason>.", where the reason is the code's own
// message unless a plainer one is given. code() is the code of the call that failed.
class FileError : public std::system_error {
public:
    FileError(std::string_view operation, const std::filesystem::path& path, std::error_code code);
    FileError(std::string_view operation, const std::filesystem::path& path, std::error_code code,
              std::string_view reason);
    const char* what() const noexcept override { return text_.what(); }

private:
    std::runtime_error text_; // copied without throwing, as an exception must be
};

// Throws FileError when error holds a failure.
void check(std::error_code error, std::string_view operation, const std::filesystem::path& path);

} // namespace engine
