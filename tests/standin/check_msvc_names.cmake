# Compiles host_names_msvc.cpp with clang for x86_64-pc-windows-msvc and fails
# unless the names its undefined symbols get are exactly the host's eight exports
# in NAMES: the declarations' C++ types are the contract with the host.
#   cmake -DCLANG=... -DNM=... -DSOURCE_DIR=... -DLIBSTDCXX_INCLUDES=... -DOUT=... -DNAMES=... -P check_msvc_names.cmake
# windows.h cannot be parsed for that target here, and the declarations need it
# not: host/module_handle.h declares the module handle as windows.h does, a
# pointer to struct HINSTANCE__.
cmake_minimum_required(VERSION 3.25)
foreach(variable CLANG NM SOURCE_DIR LIBSTDCXX_INCLUDES OUT NAMES)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "check_msvc_names.cmake needs -D${variable}=...")
  endif()
endforeach()

set(includes "")
foreach(directory IN LISTS LIBSTDCXX_INCLUDES)
  list(APPEND includes -isystem ${directory})
endforeach()
execute_process(
  COMMAND ${CLANG} --target=x86_64-pc-windows-msvc -std=c++20 -ffreestanding -U_WIN32 -Wno-\#warnings
          -I${SOURCE_DIR} ${includes} -c ${SOURCE_DIR}/tests/standin/host_names_msvc.cpp -o ${OUT}
  RESULT_VARIABLE result ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "clang could not compile the declarations for the MSVC ABI:\n${errors}")
endif()
execute_process(COMMAND ${NM} --undefined-only --format=just-symbols ${OUT}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${OUT}")
endif()
string(REPLACE "\n" ";" symbols "${symbols}")
list(FILTER symbols EXCLUDE REGEX "^$")
list(SORT symbols)
file(STRINGS ${NAMES} host_names)
list(SORT host_names)
if(NOT symbols STREQUAL host_names)
  list(JOIN symbols "\n  " got)
  list(JOIN host_names "\n  " want)
  message(FATAL_ERROR "The declarations get these MSVC names:\n  ${got}\nThe host exports:\n  ${want}")
endif()
message(STATUS "The eight declarations get exactly the host's MSVC names")
