# Cross-builds for 64-bit Windows with Debian's mingw-w64 (posix threads, so std::thread works).
# Tests run under Wine through CTest's emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VISTREL_MINGW_TRIPLET x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${VISTREL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VISTREL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VISTREL_MINGW_TRIPLET}-windres)

# Libraries cross-built from Debian's sources (scripts/deps-windows) live in
# ${VISTREL_WINDOWS_CACHE}/current/<name>; VISTREL_WINDOWS_PREFIX may add one more prefix.
if(NOT VISTREL_WINDOWS_CACHE)
  if(DEFINED ENV{VISTREL_WINDOWS_CACHE})
    set(VISTREL_WINDOWS_CACHE $ENV{VISTREL_WINDOWS_CACHE})
  else()
    set(VISTREL_WINDOWS_CACHE $ENV{HOME}/.cache/vistrel-windows)
  endif()
endif()
file(GLOB VISTREL_WINDOWS_PREFIXES LIST_DIRECTORIES true ${VISTREL_WINDOWS_CACHE}/current/*)
set(CMAKE_FIND_ROOT_PATH /usr/${VISTREL_MINGW_TRIPLET} ${VISTREL_WINDOWS_PREFIX} ${VISTREL_WINDOWS_PREFIXES})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config sees only the cross-built libraries, never the build machine's.
set(VISTREL_WINDOWS_PKG_CONFIG_PATH "")
foreach(prefix ${VISTREL_WINDOWS_PREFIX} ${VISTREL_WINDOWS_PREFIXES})
  foreach(dir lib/pkgconfig share/pkgconfig)
    list(APPEND VISTREL_WINDOWS_PKG_CONFIG_PATH ${prefix}/${dir})
  endforeach()
endforeach()
string(REPLACE ";" ":" VISTREL_WINDOWS_PKG_CONFIG_PATH "${VISTREL_WINDOWS_PKG_CONFIG_PATH}")
set(ENV{PKG_CONFIG_LIBDIR} "${VISTREL_WINDOWS_PKG_CONFIG_PATH}")
set(ENV{PKG_CONFIG_PATH} "")

# The C++ runtime goes into every program, so tests and the program need no DLL beside them for it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# Through a script that keeps the processes Wine starts off CTest's pipes and stops a test that hangs.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-test)
