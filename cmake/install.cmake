# Installing the game (`cmake --install`) and packing it for Debian (`cpack -G DEB`).
#
# `cmake --install <build> --prefix <folder>` puts the game in <folder>/bin, its manual page in
# <folder>/share/man/man6 and the README and LICENSE in <folder>/share/doc/jorvo-dice; every path is
# under the prefix, so a user without root installs into a folder of their own (~/.local).
#
# The Debian package is built from a tree configured with CMAKE_INSTALL_PREFIX=/usr and
# CMAKE_INSTALL_BINDIR=games (scripts/package does it), which puts the game in /usr/games as the
# games policy asks. It holds the "game" and "debian" parts below: in its documentation folder the
# README is compressed, as Debian asks of documents over 4 kB, and the LICENSE is the package's
# copyright file, beside a Debian changelog.
#
# A Windows build installs and packs the game as Windows programs are: see windows/package.cmake.

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/windows/package.cmake)
  return()
endif()

# The documentation folder is named after the program, which is also the package's name (the
# default would be named after the CMake project).
set(CMAKE_INSTALL_DOCDIR share/doc/jorvo-dice CACHE PATH "Documentation folder")
include(GNUInstallDirs)

install(TARGETS jorvo-dice RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT game)
install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT docs)

# Manual pages and Debian's documents are installed compressed with `gzip -9n`: no name and no
# time stamp inside, so the same sources give the same bytes. Where there is no gzip, the manual
# page goes uncompressed, which man reads just as well.
find_program(JORVO_GZIP gzip)
set(compressed_folder ${CMAKE_CURRENT_BINARY_DIR}/compressed)
# jorvo_compressed(SOURCE OUTPUT_VARIABLE): sets OUTPUT_VARIABLE to SOURCE compressed at build time.
function(jorvo_compressed source output_variable)
  get_filename_component(name ${source} NAME)
  set(plain ${compressed_folder}/${name})
  add_custom_command(OUTPUT ${plain}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${compressed_folder}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
    COMMAND ${JORVO_GZIP} -9nf ${plain}
    DEPENDS ${source}
    VERBATIM)
  set(${output_variable} ${plain}.gz PARENT_SCOPE)
endfunction()

set(man_page ${CMAKE_CURRENT_SOURCE_DIR}/doc/jorvo-dice.6)
if(JORVO_GZIP)
  jorvo_compressed(${man_page} man_page)
  jorvo_compressed(${CMAKE_CURRENT_SOURCE_DIR}/README.md debian_readme)
  jorvo_compressed(${CMAKE_CURRENT_SOURCE_DIR}/cmake/debian/changelog debian_changelog)
  add_custom_target(jorvo_compressed_docs ALL
                    DEPENDS ${man_page} ${debian_readme} ${debian_changelog})
  # Only the package installs these, never a plain `cmake --install`.
  install(FILES ${debian_readme} ${debian_changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR}
          COMPONENT debian EXCLUDE_FROM_ALL)
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright
          COMPONENT debian EXCLUDE_FROM_ALL)
endif()
install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man6 COMPONENT game)

# ---- the Debian package -------------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME jorvo-dice)
set(CPACK_PACKAGE_VENDOR "The Jorvo Dice developers")
set(CPACK_PACKAGE_CONTACT "Jorvo Dice developers <dev@jorvo-dice.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keyboard dice game for the text terminal")
set(CPACK_PACKAGE_DESCRIPTION "\
Jorvo Dice is a dice game played with the keyboard alone in a text terminal.
Five dice, twelve turns, up to three rolls a turn: hold the dice to keep,
roll the rest, and record the result in one of twelve categories.
.
Play alone for a place in a top-ten ranking kept in the player's own data
folder, or with a friend at one keyboard. A computer that plays the best
strategy can coach you while you play, or take the second player's seat.
It needs a terminal of at least 103 by 28 cells.")
# One package holding the game and the Debian files, named jorvo-dice_VERSION_ARCH.deb.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL game debian)
set(CPACK_DEBIAN_PACKAGE_NAME jorvo-dice)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends is what dpkg-shlibdeps finds the game linked with, never written by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
