#pragma once
// Readable names for parameterised tests: a case's description in CamelCase ("length cuts the bitmap"
// becomes LengthCutsTheBitmap), so a test's name says what it checks and stays the same from build to
// build. Use as INSTANTIATE_TEST_SUITE_P's last argument: vistrel::test::CaseName<&Case::what>.
#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>
#include <string_view>

namespace vistrel::test {

inline std::string CamelCase(std::string_view text)
{
    std::string name;
    bool startWord = true;
    for (const char c : text) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            startWord = true;
            continue;
        }
        name += startWord ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
        startWord = false;
    }
    return name;
}

template <auto Description>
struct CaseName
{
    template <class Case>
    std::string operator()(const testing::TestParamInfo<Case>& info) const
    {
        return CamelCase(info.param.*Description);
    }
};

// A case prints as its name: gtest shows the printed parameter beside a test's name and ctest keeps it
// in the name, so a case that does not print itself shows as raw bytes that change from build to build.
// A test file takes this in with `using test::PrintTo;` in the namespace of its cases.
template <class Case>
    requires requires(const Case& c) { std::string_view(c.name); }
void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

} // namespace vistrel::test
