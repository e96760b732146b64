# Lays out a fresh game folder as a player has it, for the main job: the stand-in
# game and script host, the plug-in, and the package's sample settings and install
# text. The main job adds the mods itself.
#   cmake -DFOLDER=... -DGAME_DIR=... -DPACKAGE_DIR=... -P main_job_folder.cmake
foreach(variable FOLDER GAME_DIR PACKAGE_DIR)
  if(NOT ${variable})
    message(FATAL_ERROR "main_job_folder.cmake: set ${variable}")
  endif()
endforeach()
# Mods and kept copies of an earlier run would change what the main job finds.
file(REMOVE_RECURSE ${FOLDER})
file(MAKE_DIRECTORY ${FOLDER})
file(COPY ${GAME_DIR}/RDR2.exe ${GAME_DIR}/ScriptHookRDR2.dll ${GAME_DIR}/Brackenfold.asi
          ${PACKAGE_DIR}/BrackenfoldConfig.ini ${PACKAGE_DIR}/INSTALL.txt
     DESTINATION ${FOLDER})
