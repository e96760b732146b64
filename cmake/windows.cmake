# The plug-in as players get it: Brackenfold.asi, a 64-bit Windows DLL that the
# script host loads from the game's folder.

# The host's import library, made from the .def that binds the g++ names of the
# declarations in host/script_host.h to the host's MSVC export names.
set(script_host_def ${PROJECT_SOURCE_DIR}/host/script_host.def)
set(script_host_implib ${CMAKE_CURRENT_BINARY_DIR}/libScriptHookRDR2.a)
add_custom_command(
  OUTPUT ${script_host_implib}
  COMMAND ${CMAKE_DLLTOOL} -d ${script_host_def} -D ScriptHookRDR2.dll -l ${script_host_implib}
  DEPENDS ${script_host_def}
  COMMENT "Generating the script host's import library"
  VERBATIM)
add_custom_target(script_host_implib DEPENDS ${script_host_implib})

# Where the game keeps its plug-ins: the stand-in game and host land here too.
set(BRACKENFOLD_GAME_DIR ${CMAKE_BINARY_DIR}/game)

# Its version resource comes from the project version, like the version in the log.
configure_file(${PROJECT_SOURCE_DIR}/plugin/version.rc.in ${PROJECT_BINARY_DIR}/generated/version.rc @ONLY)

enable_language(RC)
set(room_objects)
foreach(room IN LISTS BRACKENFOLD_OBJECT_ROOMS)
  list(APPEND room_objects $<TARGET_OBJECTS:${room}>)
endforeach()
add_library(Brackenfold MODULE ${room_objects} ${PROJECT_BINARY_DIR}/generated/version.rc)
target_include_directories(Brackenfold PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(Brackenfold PRIVATE ini warnings ${script_host_implib})
add_dependencies(Brackenfold script_host_implib)
# -static: with only -static-libgcc -static-libstdc++ the posix toolchain still
# imports libwinpthread-1.dll, which a player's game folder does not have.
# --exclude-all-symbols: the plug-in exports nothing. -s: players get it without
# its symbol table, a third of the size.
target_link_options(Brackenfold PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--exclude-all-symbols
  $<$<CONFIG:Release>:-s>)
set_target_properties(Brackenfold PROPERTIES
  PREFIX ""
  SUFFIX ".asi"
  LIBRARY_OUTPUT_DIRECTORY ${BRACKENFOLD_GAME_DIR})

# The package for players: dist/Brackenfold/ with the plug-in, a sample settings
# file and the install text, and the same folder as dist/Brackenfold-<version>.zip.
set(BRACKENFOLD_DIST_DIR ${PROJECT_SOURCE_DIR}/dist/Brackenfold)
set(BRACKENFOLD_ZIP ${PROJECT_SOURCE_DIR}/dist/Brackenfold-${PROJECT_VERSION}.zip)
add_custom_target(dist
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${BRACKENFOLD_DIST_DIR} ${BRACKENFOLD_ZIP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${BRACKENFOLD_DIST_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Brackenfold>
          ${PROJECT_SOURCE_DIR}/package/BrackenfoldConfig.ini ${PROJECT_SOURCE_DIR}/package/INSTALL.txt
          ${BRACKENFOLD_DIST_DIR}
  COMMAND ${CMAKE_COMMAND} -E chdir ${PROJECT_SOURCE_DIR}/dist
          ${CMAKE_COMMAND} -E tar cf ${BRACKENFOLD_ZIP} --format=zip Brackenfold
  DEPENDS Brackenfold
  COMMENT "Packing dist/Brackenfold and dist/Brackenfold-${PROJECT_VERSION}.zip"
  VERBATIM)
