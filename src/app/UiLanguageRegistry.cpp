// The configured language on Windows: the "UILanguage" value of the program's registry key, read
// with the shell's per-user-then-machine-wide lookup. Reading never creates the key (QSettings would).
#include "app/Configuration.h"

#include <windows.h>
#include <shlwapi.h>

namespace vistrel {
namespace {

constexpr const wchar_t* kConfigKey = L"Software\\Vistrel\\Vistrel\\Config";
constexpr const wchar_t* kUiLanguageValue = L"UILanguage";

} // namespace

std::optional<std::uint32_t> ReadUiLanguageSetting()
{
    // A 4-byte buffer and no default data: a value that does not fit cannot be read, and the lookup
    // then tries the machine-wide hive.
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    constexpr BOOL kPerUserFirst = FALSE;
    if (::SHRegGetUSValueW(kConfigKey, kUiLanguageValue, &type, &value, &size, kPerUserFirst, nullptr, 0) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

} // namespace vistrel
