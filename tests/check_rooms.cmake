# Fails unless every include between the product's folders runs downward: ROOMS
# lists them top to bottom, and a file in one may include only files of those
# after it (or of its own). A folder of SOURCE_DIR that is no room may not be
# included at all. With README, the README's line "Rooms, top to bottom: ..."
# must name the same rooms in the same order.
#   cmake -DSOURCE_DIR=... "-DROOMS=plugin;reload;..." [-DREADME=...] -P check_rooms.cmake
cmake_minimum_required(VERSION 3.25)
foreach(variable SOURCE_DIR ROOMS)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "check_rooms.cmake needs -D${variable}=...")
  endif()
endforeach()

set(problems "")
foreach(room IN LISTS ROOMS)
  list(FIND ROOMS ${room} level)
  file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
       ${SOURCE_DIR}/${room}/*.h ${SOURCE_DIR}/${room}/*.cpp ${SOURCE_DIR}/${room}/*.in)
  foreach(source IN LISTS sources)
    file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[^\"/]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[^\"]*\"([^\"/]+)/.*$" "\\1" target "${line}")
      list(FIND ROOMS ${target} targetLevel)
      if(targetLevel EQUAL -1)
        if(IS_DIRECTORY ${SOURCE_DIR}/${target})
          list(APPEND problems "${source} includes ${target}/, which is no room of the product")
        endif()
      elseif(targetLevel LESS level)
        list(APPEND problems "${source} includes ${target}/, a room above ${room}/")
      endif()
    endforeach()
  endforeach()
endforeach()

if(DEFINED README)
  file(STRINGS ${README} stated REGEX "^Rooms, top to bottom:")
  string(REGEX MATCHALL "`[a-z_]+/`" named "${stated}")
  string(REGEX REPLACE "[`/]" "" named "${named}")
  if(NOT named STREQUAL ROOMS)
    list(APPEND problems "the README names the rooms \"${named}\", the build \"${ROOMS}\"")
  endif()
endif()

if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "includes that run upward:\n  ${text}")
endif()
message(STATUS "every include between rooms runs downward: ${ROOMS}")
