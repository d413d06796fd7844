# Where `cmake --install` and the packages put things (GNUInstallDirs):
#
#   bin/kestrelux                  a link to the program in the private folder
#   bin/kx_image_dump              the image tool
#   lib/kestrelux/                 the program, its plug-ins and the project's
#                                  shared libraries, side by side as in the
#                                  build tree's bin/
#   share/kestrelux/data/          the bundled show
#   share/doc/kestrelux/           README.md and docs/
#
# Keeping the program beside its plug-ins means the player's usual search
# (the program's own folder first) finds them, and one RPATH of $ORIGIN finds
# the shared libraries, with nothing added to the player's search rules.
include(GNUInstallDirs)

set(KX_INSTALL_PROGRAM_DIR ${CMAKE_INSTALL_LIBDIR}/kestrelux)
set(KX_INSTALL_HOME_DIR ${CMAKE_INSTALL_DATADIR}/kestrelux)

# The installed show's folder seen from the program's folder. The player
# looks there when the working folder has no data/ (player/installed_data.h).
file(RELATIVE_PATH KX_DATA_HOME_FROM_PROGRAM ${CMAKE_INSTALL_FULL_LIBDIR}/kestrelux
     ${CMAKE_INSTALL_FULL_DATADIR}/kestrelux)
# The private folder seen from bin/, for the link and the tools' RPATH.
file(RELATIVE_PATH KX_PROGRAM_DIR_FROM_BIN ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR}/kestrelux)
