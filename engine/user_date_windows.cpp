// Windows: the user's short date and long time, as set in the region settings. The C++ locale
// of MinGW's runtime is always "C", which writes the American form whatever the user chose.

#include "engine/file_formats.h"

#include <windows.h>

namespace engine {

namespace {

std::string utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.pop_back(); // the terminating zero
    return out;
}

} // namespace

std::string userDateText(const std::tm& localTime) {
    SYSTEMTIME when{};
    when.wYear = static_cast<WORD>(localTime.tm_year + 1900);
    when.wMonth = static_cast<WORD>(localTime.tm_mon + 1);
    when.wDayOfWeek = static_cast<WORD>(localTime.tm_wday);
    when.wDay = static_cast<WORD>(localTime.tm_mday);
    when.wHour = static_cast<WORD>(localTime.tm_hour);
    when.wMinute = static_cast<WORD>(localTime.tm_min);
    when.wSecond = static_cast<WORD>(localTime.tm_sec);
    wchar_t date[128];
    wchar_t time[128];
    if (GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &when, nullptr, date, 128,
                        nullptr) == 0 ||
        GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &when, nullptr, time, 128) == 0)
        return logDateText(localTime, std::locale::classic());
    const bool midnight = localTime.tm_hour == 0 && localTime.tm_min == 0 && localTime.tm_sec == 0;
    return midnight ? utf8(date) : utf8(date) + " " + utf8(time);
}

} // namespace engine
