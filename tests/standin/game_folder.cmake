# Lays out a fresh game folder as a player has it: the stand-in game and script
# host and the plug-in, and, given PACKAGE_DIR, the package's sample settings and
# install text (the main job adds the mods itself).
#   cmake -DFOLDER=... -DGAME_DIR=... [-DPACKAGE_DIR=...] -P game_folder.cmake
foreach(variable FOLDER GAME_DIR)
  if(NOT ${variable})
    message(FATAL_ERROR "game_folder.cmake: set ${variable}")
  endif()
endforeach()
set(files "${GAME_DIR}/RDR2.exe" "${GAME_DIR}/ScriptHookRDR2.dll" "${GAME_DIR}/Brackenfold.asi")
if(PACKAGE_DIR)
  list(APPEND files "${PACKAGE_DIR}/BrackenfoldConfig.ini" "${PACKAGE_DIR}/INSTALL.txt")
endif()
# What an earlier run left (mods, kept copies, logs) would change what the scenarios find.
file(REMOVE_RECURSE "${FOLDER}")
file(MAKE_DIRECTORY "${FOLDER}")
file(COPY ${files} DESTINATION "${FOLDER}")
