# CMake toolchain file: cross-compile for 64-bit Windows with mingw-w64.
#
#   cmake -S . -B build-win64 \
#     -DCMAKE_TOOLCHAIN_FILE=tools/windows/mingw-w64-x86_64.cmake \
#     -DKX_WIN_DEPS_PREFIX="$(tools/windows/build-deps.sh --print-prefix)"
#
# The compilers are the "posix" thread-model variants, so std::thread and
# std::mutex work (they run on winpthreads). Libraries are searched in the
# mingw-w64 sysroot and in the prefixes that build-deps.sh fills. pkg-config
# looks only there too, so the project's pkg_check_modules() calls find the
# Windows libraries just as they find the native ones on Linux (and as they
# do under MSYS2, where no toolchain file is needed).
#
# The dependency prefixes come from -DKX_WIN_DEPS_PREFIX=..., else from the
# environment variable KX_WIN_DEPS_PREFIX, else from asking build-deps.sh
# where its cache holds a finished build (which it does offline, in a moment).
# Several prefixes are separated by colons, as build-deps.sh prints them (its
# layers: the libraries of sound and pictures, then the controllers').

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KX_MINGW_TRIPLET x86_64-w64-mingw32)
set(KX_MINGW_SYSROOT /usr/${KX_MINGW_TRIPLET})

set(CMAKE_C_COMPILER ${KX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KX_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${KX_MINGW_TRIPLET}-ar CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB ${KX_MINGW_TRIPLET}-ranlib CACHE FILEPATH "Ranlib")

# The toolchain file is read again for every try_compile(); pass the prefix on.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KX_WIN_DEPS_PREFIX)

if(NOT KX_WIN_DEPS_PREFIX AND DEFINED ENV{KX_WIN_DEPS_PREFIX})
    set(KX_WIN_DEPS_PREFIX "$ENV{KX_WIN_DEPS_PREFIX}")
endif()
if(NOT KX_WIN_DEPS_PREFIX)
    execute_process(
        COMMAND bash "${CMAKE_CURRENT_LIST_DIR}/build-deps.sh" --print-prefix
        OUTPUT_VARIABLE _kx_prefix
        ERROR_VARIABLE _kx_prefix_error
        RESULT_VARIABLE _kx_prefix_result
        OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT _kx_prefix_result EQUAL 0 OR NOT _kx_prefix)
        message(FATAL_ERROR
            "No Windows dependency prefix. Run tools/windows/build-deps.sh "
            "first, or pass -DKX_WIN_DEPS_PREFIX=<dir>.\n${_kx_prefix_error}")
    endif()
    set(KX_WIN_DEPS_PREFIX "${_kx_prefix}")
endif()
set(KX_WIN_DEPS_PREFIX "${KX_WIN_DEPS_PREFIX}" CACHE STRING
    "Prefixes holding the cross-built third-party libraries, separated by colons")
string(REPLACE ":" ";" _kx_prefixes "${KX_WIN_DEPS_PREFIX}")
set(_kx_pkgconfig_dirs "")
foreach(_kx_prefix_dir IN LISTS _kx_prefixes)
    if(NOT IS_DIRECTORY "${_kx_prefix_dir}/lib/pkgconfig")
        message(FATAL_ERROR
            "KX_WIN_DEPS_PREFIX=${KX_WIN_DEPS_PREFIX}: ${_kx_prefix_dir} has no "
            "lib/pkgconfig; run tools/windows/build-deps.sh")
    endif()
    string(APPEND _kx_pkgconfig_dirs "${_kx_prefix_dir}/lib/pkgconfig:")
endforeach()

# Headers and libraries come only from the target side; programs (pkg-config,
# code generators) from the build machine.
set(CMAKE_FIND_ROOT_PATH ${_kx_prefixes} "${KX_MINGW_SYSROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config: only the Windows .pc files. The paths in them are real paths on
# this machine (the prefix is not relocated), so no sysroot rewriting.
set(ENV{PKG_CONFIG_LIBDIR} "${_kx_pkgconfig_dirs}${KX_MINGW_SYSROOT}/lib/pkgconfig")
unset(ENV{PKG_CONFIG_PATH})
unset(ENV{PKG_CONFIG_SYSROOT_DIR})

# Test programs built here run under Wine (ctest, try_run).
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
    find_program(KX_WINE_PROGRAM NAMES wine wine64)
    if(KX_WINE_PROGRAM)
        set(CMAKE_CROSSCOMPILING_EMULATOR "${KX_WINE_PROGRAM}")
    endif()
endif()
