# Installing the Windows game and packing it (included by cmake/install.cmake in a Windows build):
# `cpack -G "NSIS;ZIP"` in a tree cross-built with cmake/mingw-w64-x86_64.cmake makes the installer
# jorvo-dice-VERSION-win64.exe and the portable jorvo-dice-VERSION-win64.zip; scripts/package
# windows does it.
#
# Both hold the same files, in one folder: jorvo-dice.exe, and README.txt and LICENSE.txt as text
# that Notepad opens, with CRLF line ends, the README (which is not all ASCII) as UTF-8 with a
# byte-order mark. The installer's script is NSIS.template.in beside this file, which CPack's NSIS
# generator fills in with the values below and the list of files.

set(text_folder ${CMAKE_CURRENT_BINARY_DIR}/windows-text)
# jorvo_windows_text(SOURCE NAME [BOM]): SOURCE as the Windows text file NAME in text_folder.
function(jorvo_windows_text source name)
  set(bom OFF)
  if(ARGN STREQUAL "BOM")
    set(bom ON)
  endif()
  add_custom_command(OUTPUT ${text_folder}/${name}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${source} -DOUTPUT=${text_folder}/${name} -DBOM=${bom}
            -P ${CMAKE_CURRENT_LIST_DIR}/windows_text.cmake
    DEPENDS ${source} ${CMAKE_CURRENT_LIST_DIR}/windows_text.cmake
    VERBATIM)
endfunction()
jorvo_windows_text(${CMAKE_CURRENT_SOURCE_DIR}/README.md README.txt BOM)
jorvo_windows_text(${CMAKE_CURRENT_SOURCE_DIR}/LICENSE LICENSE.txt)
add_custom_target(jorvo_windows_text ALL
                  DEPENDS ${text_folder}/README.txt ${text_folder}/LICENSE.txt)

install(TARGETS jorvo-dice RUNTIME DESTINATION . COMPONENT game)
install(FILES ${text_folder}/README.txt ${text_folder}/LICENSE.txt DESTINATION . COMPONENT docs)

set(CPACK_GENERATOR "NSIS;ZIP")
set(CPACK_PACKAGE_NAME jorvo-dice)
set(CPACK_PACKAGE_VENDOR "${JORVO_PUBLISHER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${JORVO_DESCRIPTION}")
set(CPACK_PACKAGE_FILE_NAME jorvo-dice-${PROJECT_VERSION}-win64)
# One set of files, the same in the installer and the ZIP, whose folder has the ZIP's name.
set(CPACK_MONOLITHIC_INSTALL ON)
set(CPACK_STRIP_FILES ON)

# What the installer's script (NSIS.template.in) takes: the folder's name under Program Files,
# the key under ...\CurrentVersion\Uninstall that Apps & features lists, the name it shows there
# and in the installer, and the icon of both the installer and the uninstaller.
set(CPACK_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Jorvo Dice")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY JorvoDice)
set(CPACK_NSIS_PACKAGE_NAME "Jorvo Dice")
set(CPACK_NSIS_DISPLAY_NAME "Jorvo Dice")
set(CPACK_NSIS_MUI_ICON ${JORVO_ICON})
set(CPACK_NSIS_MUI_UNIICON ${JORVO_ICON})
set(CPACK_NSIS_JORVO_COPYRIGHT "${JORVO_COPYRIGHT}")
include(CPack)
