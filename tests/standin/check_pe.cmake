# Reads a PE file's import and export tables (objdump -p) and fails unless it is
# what a player's game can load as the plug-in: imports only from KERNEL32.dll, the
# C runtime msvcrt.dll and ScriptHookRDR2.dll, from the host exactly the eight
# names in NAMES, none of the ANSI functions below that take or give a path or an
# environment value (a name beyond the ANSI code page would not survive them), and
# no exports. With -DVERSION=1 it must also carry a version resource: a .rsrc
# section holding the fixed file information's signature.
#   cmake -DOBJDUMP=... -DFILE=... -DNAMES=host_names.txt -P check_pe.cmake
cmake_minimum_required(VERSION 3.25)
foreach(variable OBJDUMP FILE NAMES)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "check_pe.cmake needs -D${variable}=...")
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -p ${FILE} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${FILE} failed")
endif()
file(STRINGS ${NAMES} host_names)
string(REPLACE ";" "\\;" dump "${dump}")

# Names of fixed objects and resources (GetModuleHandleA, CreateMutexA, FindResourceA,
# OutputDebugStringA, ...) are ASCII the plug-in chose, and may stay ANSI.
set(ansi_kernel32
  CopyFileA CopyFileExA CreateDirectoryA CreateDirectoryExA CreateFileA CreateHardLinkA CreateProcessA
  CreateSymbolicLinkA DeleteFileA ExpandEnvironmentStringsA FindFirstChangeNotificationA FindFirstFileA
  FindFirstFileExA FindNextFileA FreeEnvironmentStringsA GetBinaryTypeA GetCompressedFileSizeA
  GetCurrentDirectoryA GetDiskFreeSpaceA GetDiskFreeSpaceExA GetDllDirectoryA GetDriveTypeA
  GetEnvironmentStrings GetEnvironmentStringsA GetEnvironmentVariableA GetFileAttributesA GetFileAttributesExA
  GetFullPathNameA GetLongPathNameA GetModuleFileNameA GetPrivateProfileIntA GetPrivateProfileSectionA
  GetPrivateProfileStringA GetShortPathNameA GetSystemDirectoryA GetTempFileNameA GetTempPathA
  GetVolumeInformationA GetWindowsDirectoryA LoadLibraryA LoadLibraryExA MoveFileA MoveFileExA OpenFile
  RemoveDirectoryA ReplaceFileA SearchPathA SetCurrentDirectoryA SetDllDirectoryA SetEnvironmentVariableA
  SetFileAttributesA WritePrivateProfileStringA _lcreat _lopen)
set(ansi_msvcrt
  __getmainargs __p__environ _access _chdir _chmod _creat _environ _execl _execle _execlp _execv _execve
  _execvp _findfirst _findfirst64 _findfirsti64 _findnext _findnext64 _findnexti64 _fsopen _fullpath _getcwd
  _getdcwd _mkdir _open _popen _putenv _rmdir _searchenv _sopen _spawnl _spawnle _spawnlp _spawnv _spawnve
  _spawnvp _stat _stat64 _stati64 _tempnam _unlink _utime _utime64 fopen freopen getenv remove rename
  system tmpnam)
string(REPLACE "\n" ";" lines "${dump}")

set(problems "")
set(dll "")
set(host_imports "")
set(export_count 0)
set(in_imports FALSE)
set(in_counts FALSE)
foreach(line IN LISTS lines)
  if(line MATCHES "^The Import Tables")
    set(in_imports TRUE)
  elseif(line MATCHES "^The Export Tables" OR line MATCHES "^The Function Table")
    set(in_imports FALSE)
  endif()
  if(in_imports AND line MATCHES "^[ \t]*DLL Name: (.+)$")
    set(dll "${CMAKE_MATCH_1}")
    string(TOLOWER "${dll}" lower)
    if(NOT lower MATCHES "^(kernel32\\.dll|msvcrt\\.dll|scripthookrdr2\\.dll)$")
      list(APPEND problems "imports from ${dll}")
    endif()
  elseif(in_imports AND line MATCHES "^\t[0-9a-f]+\t *[0-9]+  (.+)$")
    set(name "${CMAKE_MATCH_1}")
    if(lower STREQUAL "scripthookrdr2.dll")
      list(APPEND host_imports "${name}")
    elseif((lower STREQUAL "kernel32.dll" AND name IN_LIST ansi_kernel32)
           OR (lower STREQUAL "msvcrt.dll" AND name IN_LIST ansi_msvcrt))
      list(APPEND problems "imports ${name} from ${dll}, which takes or gives a path or an environment value in the ANSI code page")
    endif()
  elseif(line MATCHES "^Number in:")
    set(in_counts TRUE)
  elseif(line MATCHES "^Table Addresses")
    set(in_counts FALSE)
  elseif(in_counts AND line MATCHES "^[ \t]*Export Address Table[ \t]+([0-9a-fA-F]+)$")
    math(EXPR export_count "0x${CMAKE_MATCH_1}")
  elseif(line MATCHES "^\t\\[ *[0-9]+\\] ([^+].*)$")
    list(APPEND problems "exports ${CMAKE_MATCH_1}")
  endif()
endforeach()

if(VERSION)
  execute_process(COMMAND ${OBJDUMP} -s -j .rsrc ${FILE} OUTPUT_VARIABLE resources ERROR_QUIET)
  if(NOT resources MATCHES " bd04effe ")
    list(APPEND problems "has no version resource")
  endif()
endif()
if(export_count GREATER 0)
  list(APPEND problems "exports ${export_count} entries")
endif()
foreach(name IN LISTS host_imports)
  if(NOT name IN_LIST host_names)
    list(APPEND problems "imports ${name} from ScriptHookRDR2.dll")
  endif()
endforeach()
foreach(name IN LISTS host_names)
  if(NOT name IN_LIST host_imports)
    list(APPEND problems "does not import ${name} from ScriptHookRDR2.dll")
  endif()
endforeach()

if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "${FILE}:\n  ${text}")
endif()
message(STATUS "${FILE}: imports only KERNEL32.dll, msvcrt.dll and the host's eight names, no ANSI path or "
               "environment function; exports nothing")
if(VERSION)
  message(STATUS "${FILE}: carries a version resource")
endif()
