# Fails the build when the program imports a DLL that Windows does not always load from its
# system folder: the elevated program is run from Downloads, and any other DLL name would be
# looked for beside it first. Run as: cmake -DOBJDUMP=... -DEXE=... -P check_imports.cmake
cmake_minimum_required(VERSION 3.25)

set(known_dlls
  advapi32.dll comdlg32.dll gdi32.dll imagehlp.dll imm32.dll kernel32.dll msvcrt.dll ole32.dll
  oleaut32.dll psapi.dll rpcrt4.dll setupapi.dll shell32.dll shlwapi.dll user32.dll ws2_32.dll)

execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump could not read ${EXE}")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
set(imports "")
foreach(line IN LISTS lines)
  string(REPLACE "DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll)
  list(APPEND imports ${dll})
  if(NOT dll IN_LIST known_dlls)
    message(FATAL_ERROR "${EXE} imports ${dll}, which Windows may load from the program's folder")
  endif()
endforeach()
if(NOT imports)
  message(FATAL_ERROR "no imports found in ${EXE}")
endif()
