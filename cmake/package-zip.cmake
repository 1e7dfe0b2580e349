# The Windows zip QX_CLIENT-<version>-win64.zip (make package-windows): QX_CLIENT.exe, the
# DLLs it needs beside it and a README. The program is linked statically, so the list of
# DLLs is empty; it is computed from the program's imports all the same, so that a DLL
# that creeps in is shipped or, when it cannot be found, stops the packaging.
if(NOT TARGET QX_CLIENT)
  return()
endif()

set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

get_filename_component(KESTRAVON_MINGW_CXX_DIR ${CMAKE_CXX_COMPILER} DIRECTORY)
find_program(KESTRAVON_MINGW_OBJDUMP NAMES ${KESTRAVON_MINGW_PREFIX}-objdump x86_64-w64-mingw32-objdump objdump REQUIRED)
set(KESTRAVON_DLL_DIRS ${CMAKE_FIND_ROOT_PATH}/bin ${CMAKE_FIND_ROOT_PATH}/lib ${KESTRAVON_MINGW_CXX_DIR})

install(TARGETS QX_CLIENT RUNTIME DESTINATION .)
# CMake's RUNTIME_DEPENDENCIES refuses a cross build; the same resolution by hand, with
# the cross toolchain's objdump reading the imports.
install(CODE "
  set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
  set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
  set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND [[${KESTRAVON_MINGW_OBJDUMP}]])
  file(GET_RUNTIME_DEPENDENCIES
    EXECUTABLES [[$<TARGET_FILE:QX_CLIENT>]]
    RESOLVED_DEPENDENCIES_VAR dlls
    UNRESOLVED_DEPENDENCIES_VAR missing
    # Windows' own DLLs (and its API sets): on every system, never shipped.
    PRE_EXCLUDE_REGEXES [[^api-ms-]] [[^ext-ms-]]
      [[^(advapi32|bcrypt|comctl32|comdlg32|crypt32|gdi32|iphlpapi|kernel32|msvcrt|ntdll|ole32|oleaut32|secur32|shell32|shlwapi|user32|uxtheme|version|winmm|wininet|ws2_32)[.]dll$]]
    DIRECTORIES ${KESTRAVON_DLL_DIRS})
  if(missing)
    message(FATAL_ERROR \"QX_CLIENT.exe needs DLLs that are neither Windows' own nor found: \${missing}\")
  endif()
  foreach(dll IN LISTS dlls)
    file(INSTALL \${dll} DESTINATION \${CMAKE_INSTALL_PREFIX})
  endforeach()
  message(STATUS \"DLLs beside QX_CLIENT.exe: \${dlls}\")
")

configure_file(${CMAKE_SOURCE_DIR}/packaging/README-windows.txt ${CMAKE_BINARY_DIR}/packaging/README.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/packaging/README.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME QX_CLIENT)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME win64)
set(CPACK_PACKAGE_FILE_NAME QX_CLIENT-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
include(CPack)
