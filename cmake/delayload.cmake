# Delay-loaded imports for the program. GNU ld cannot delay-load, so a delay-import library is made
# for each DLL with dlltool -y from a .def file listing every export of MinGW's own import library
# (generated here, in the build tree). The program links these instead of the plain import
# libraries, so the loader maps none of these DLLs at start-up; the first call loads it, after the
# program has limited its DLL search to System32 (framework/WinApp.cpp). Only KnownDLLs, which the
# loader never looks for beside the program, stay static imports.

# The libraries that are not KnownDLLs on every Windows the program runs on.
set(QV_DELAY_LOADED_LIBS wininet netapi32 version comctl32 msimg32 msvfw32 winmm bcrypt wintrust crypt32)
# KnownDLLs: loaded from System32 whatever the search order.
set(QV_STATIC_LIBS shell32 gdi32 user32 kernel32 advapi32 ole32 uuid ntdll)

# What differs by bitness: dlltool's machine, and the prefix of a C symbol (32-bit Windows puts an
# underscore before each name, so an import slot is __imp__Name@N there and __imp_Name on x64).
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QV_DLLTOOL_MACHINE i386:x86-64)
  set(QV_SYMBOL_PREFIX "")
else()
  set(QV_DLLTOOL_MACHINE i386)
  set(QV_SYMBOL_PREFIX "_")
endif()

# Makes lib<name>_delay.a in the build tree for each library; sets out_var to their paths and
# dlls_var to the DLL names, comma-separated.
function(qv_make_delay_import_libraries out_var dlls_var)
  find_program(QV_DLLTOOL ${QV_MINGW_TRIPLET}-dlltool REQUIRED)
  find_program(QV_NM ${QV_MINGW_TRIPLET}-nm REQUIRED)
  set(folder ${CMAKE_BINARY_DIR}/delayload)
  file(MAKE_DIRECTORY ${folder})
  set(libraries)
  set(dlls)
  foreach(name IN LISTS QV_DELAY_LOADED_LIBS)
    find_library(QV_IMPORT_${name} NAMES lib${name}.a ${name} REQUIRED)
    set(import ${QV_IMPORT_${name}})
    set(delay ${folder}/lib${name}_delay.a)
    execute_process(COMMAND ${QV_DLLTOOL} -I ${import} OUTPUT_VARIABLE dll OUTPUT_STRIP_TRAILING_WHITESPACE
                    COMMAND_ERROR_IS_FATAL ANY)
    string(TOLOWER "${dll}" dll)
    execute_process(COMMAND ${QV_NM} ${import} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCHALL " I __imp_${QV_SYMBOL_PREFIX}[^\n]+" imports "${symbols}")
    set(def "LIBRARY ${dll}\nEXPORTS\n")
    foreach(line IN LISTS imports)
      string(REPLACE " I __imp_${QV_SYMBOL_PREFIX}" "" export "${line}")
      string(APPEND def "${export}\n")
    endforeach()
    file(WRITE ${folder}/${name}.def "${def}")
    execute_process(COMMAND ${QV_DLLTOOL} -m ${QV_DLLTOOL_MACHINE} -k -d ${folder}/${name}.def -y ${delay}
                    COMMAND_ERROR_IS_FATAL ANY)
    list(APPEND libraries ${delay})
    list(APPEND dlls ${dll})
  endforeach()
  list(JOIN dlls "," joined)
  set(${out_var} ${libraries} PARENT_SCOPE)
  set(${dlls_var} "${joined}" PARENT_SCOPE)
endfunction()

# After the link: fails when an import slot of a delay-loaded DLL was left pointing at address 0
# (its stub dropped, see DECLSPEC_IMPORT in cmake/win32.cmake), which would crash at the first call.
function(qv_check_delay_stubs target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DQV_EXE=$<TARGET_FILE:${target}> -DQV_NM=${QV_NM}
            -DQV_SYMBOL_PREFIX=${QV_SYMBOL_PREFIX}
            -DQV_DEFS=${CMAKE_BINARY_DIR}/delayload -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
    VERBATIM)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND QV_EXE)
  cmake_policy(SET CMP0057 NEW)
  execute_process(COMMAND ${QV_NM} ${QV_EXE} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL "[0-9a-f]+ A ${QV_SYMBOL_PREFIX}[^\n]+" absolute "${symbols}")
  file(GLOB defs ${QV_DEFS}/*.def)
  set(exports)
  foreach(def IN LISTS defs)
    file(STRINGS ${def} lines)
    list(APPEND exports ${lines})
  endforeach()
  foreach(line IN LISTS absolute)
    string(REGEX REPLACE "^[0-9a-f]+ A ${QV_SYMBOL_PREFIX}" "" name "${line}")
    if(name IN_LIST exports)
      file(REMOVE ${QV_EXE})
      message(FATAL_ERROR "${QV_EXE}: the delay-loaded function ${name} has no stub; its first call would jump to 0.")
    endif()
  endforeach()
endif()
