#pragma once
// The platform's UTF-16 texts and the contract's UTF-8 ones.
#include <string>

namespace vistrel::dshow {

std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);

} // namespace vistrel::dshow
