#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace engine {

// The answer a question gives when the user presses Enter: Yes, except where Yes would replace
// what the user may want to keep.
enum class DefaultAnswer { yes, no };

// What a patch run shows and asks goes through this; the main window implements it.
// Every text crossing it is UTF-8.
class PatchUi {
public:
    virtual ~PatchUi() = default;
    virtual void showStatus(std::string_view text) = 0;
    virtual bool askYesNo(std::string_view prompt, bool questionIcon, DefaultAnswer enter) = 0;
    virtual void showInfo(std::string_view text) = 0;
    virtual void setBrowserEnabled(bool enabled) = 0;
};

// A run that could not be completed. what() is written for the user: it names what failed,
// where and why, and says what became of the script and where the text as read is kept.
// code() is the code of the call that failed, when one did.
class PatchError : public std::system_error {
public:
    explicit PatchError(const std::string& text, std::error_code code = {})
        : std::system_error(code)
        , text_(text) {}
    const char* what() const noexcept override { return text_.what(); }

private:
    std::runtime_error text_; // copied without throwing, as an exception must be
};

// The local date and time that heads a log record.
using LocalClock = std::function<std::tm()>;

// Carries out one patch run on folder/fileName, appending its log record to parselog.log in
// logFolder. fileName is the script's name exactly as the file system holds it, whatever its
// encoding; the run's texts show it in its readable form (displayPath). Throws PatchError when a
// file operation fails.
void runPatch(const std::filesystem::path& folder, const std::filesystem::path& fileName,
              PatchUi& ui, const std::filesystem::path& logFolder);

// The same run with the log header's date and time taken from clock.
void runPatch(const std::filesystem::path& folder, const std::filesystem::path& fileName,
              PatchUi& ui, const std::filesystem::path& logFolder, const LocalClock& clock);

} // namespace engine
