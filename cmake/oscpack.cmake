# kx_oscpack: the OSC library (oscpack), for the player's OSC listener.
# Found by its header and its library rather than pkg-config, as neither
# Debian's liboscpack-dev nor oscpack's own build installs a .pc file: on
# Linux in the system folders, for Windows in the dependency prefix given
# through CMAKE_PREFIX_PATH (or the toolchain's find root). Its sockets need
# the Windows socket and multimedia libraries there.
#
# Sets KX_OSCPACK_FOUND. Required on Linux; a Windows prefix without it
# builds a player without OSC, and says so.
find_path(KX_OSCPACK_INCLUDE_DIR oscpack/osc/OscReceivedElements.h)
find_library(KX_OSCPACK_LIBRARY NAMES oscpack liboscpack)
if(KX_OSCPACK_INCLUDE_DIR AND KX_OSCPACK_LIBRARY)
    set(KX_OSCPACK_FOUND ON)
    add_library(kx_oscpack INTERFACE)
    target_include_directories(kx_oscpack SYSTEM INTERFACE ${KX_OSCPACK_INCLUDE_DIR})
    target_link_libraries(kx_oscpack INTERFACE ${KX_OSCPACK_LIBRARY})
    if(WIN32)
        target_link_libraries(kx_oscpack INTERFACE ws2_32 winmm)
    endif()
elseif(WIN32)
    set(KX_OSCPACK_FOUND OFF)
    message(WARNING "oscpack not found in the dependency prefix: the player is built without OSC")
else()
    message(FATAL_ERROR "oscpack not found (Debian: liboscpack-dev)")
endif()
