#pragma once
// qedit's sample grabber and null renderer. mingw-w64's qedit.h declares ISampleGrabber and its callback
// but not the two filters' class ids; these are the ids Microsoft documents for them.
#include <windows.h>
#include <dshow.h>
#include <qedit.h>

namespace vistrel::dshow {

constexpr CLSID kClsidSampleGrabber {0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
constexpr CLSID kClsidNullRenderer {0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

} // namespace vistrel::dshow
