# Install rules and packages (layout in install_layout.cmake). Tests,
# benchmarks, fuzz targets, the test plug-ins and the media generators are
# never installed.

# The project's shared libraries that the given targets link, directly or
# through other targets of the project (imported targets are the system's).
function(kx_shared_libraries_of out)
    set(found "")
    set(seen "")
    set(queue ${ARGN})
    while(queue)
        list(POP_FRONT queue target)
        string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" target "${target}")
        if(NOT TARGET "${target}" OR target IN_LIST seen)
            continue()
        endif()
        list(APPEND seen ${target})
        get_target_property(imported ${target} IMPORTED)
        if(imported)
            continue()
        endif()
        get_target_property(type ${target} TYPE)
        if(type STREQUAL "SHARED_LIBRARY")
            list(APPEND found ${target})
        endif()
        foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
            get_target_property(links ${target} ${property})
            if(links)
                list(APPEND queue ${links})
            endif()
        endforeach()
    endwhile()
    set(${out} ${found} PARENT_SCOPE)
endfunction()

set(KX_INSTALLED_MODULES lumafold irisloom)
set(KX_INSTALLED_TOOLS kx_image_dump)
kx_shared_libraries_of(KX_INSTALLED_LIBRARIES kestrelux ${KX_INSTALLED_MODULES} ${KX_INSTALLED_TOOLS})

# The private folder: everything finds the shared libraries beside itself.
set_target_properties(kestrelux ${KX_INSTALLED_MODULES} ${KX_INSTALLED_LIBRARIES} PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS kestrelux RUNTIME DESTINATION ${KX_INSTALL_PROGRAM_DIR})
install(TARGETS ${KX_INSTALLED_MODULES} LIBRARY DESTINATION ${KX_INSTALL_PROGRAM_DIR})
if(KX_INSTALLED_LIBRARIES)
    install(TARGETS ${KX_INSTALLED_LIBRARIES} LIBRARY DESTINATION ${KX_INSTALL_PROGRAM_DIR})
endif()

# bin/kestrelux: a relative link, so the tree can be moved as a whole. The
# player resolves it to the program's real folder, where its plug-ins are.
set(KX_LINK_DIR ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${KX_LINK_DIR})
file(CREATE_LINK ${KX_PROGRAM_DIR_FROM_BIN}/kestrelux ${KX_LINK_DIR}/kestrelux SYMBOLIC)
install(PROGRAMS ${KX_LINK_DIR}/kestrelux DESTINATION ${CMAKE_INSTALL_BINDIR})

set_target_properties(${KX_INSTALLED_TOOLS} PROPERTIES INSTALL_RPATH "$ORIGIN/${KX_PROGRAM_DIR_FROM_BIN}")
install(TARGETS ${KX_INSTALLED_TOOLS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/ DESTINATION ${KX_INSTALL_HOME_DIR}/data)
# The guides keep their places next to README.md, so its links still work.
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs DESTINATION ${CMAKE_INSTALL_DOCDIR})

# ---- Packages: tools/package-linux.sh makes both ----------------------------
set(KX_PACKAGE_MAINTAINER "kestrelux developers <kestrelux@invalid>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME kestrelux)
set(CPACK_PACKAGE_VENDOR "kestrelux developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time demo player with effect plug-ins and a bundled show")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "kestrelux plays real-time shows described in a small XML-like script:\n"
    "effect plug-ins (lumafold, irisloom), an OpenGL window, music, key-driven\n"
    "events and a capture mode that renders a show into frames and a WAV file.\n"
    "Run kestrelux in a folder without data/ to play the bundled show.")
set(CPACK_PACKAGE_CONTACT ${KX_PACKAGE_MAINTAINER})
set(CPACK_GENERATOR "TGZ;DEB")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_FILE_NAME "kestrelux-linux-${CMAKE_SYSTEM_PROCESSOR}")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Besides what dpkg-shlibdeps finds: SDL opens the GL library (windows) and
# EGL (the offscreen driver of capture mode without a display) at run time.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1, libegl1")
# The bundled show's titles are set in DejaVu Sans Bold; capturing to a video
# file runs ffmpeg.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core, ffmpeg")

include(CPack)
