# The native Windows build, cross-compiled with mingw-w64 (cmake/mingw-w64-x86_64.cmake):
# the Win32 window (ui/win32) as QX_CLIENT.exe, and the window-free tests run under Wine.
if(NOT MINGW)
  message(STATUS "Windows build: only mingw-w64 is set up here (see README for MSVC/MSYS2)")
endif()
# Windows 7 API level: GetFinalPathNameByHandleA, RegisterApplicationRestart.
target_compile_definitions(kestravon_core PUBLIC _WIN32_WINNT=0x0601 WINVER=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX)
target_compile_definitions(kestravon_install_folder PRIVATE _WIN32_WINNT=0x0601 WINVER=0x0601 WIN32_LEAN_AND_MEAN
  NOMINMAX)
target_link_libraries(kestravon_install_folder PUBLIC advapi32)

if(EXISTS ${CMAKE_SOURCE_DIR}/ui/win32/CMakeLists.txt)
  add_subdirectory(ui/win32)
endif()
# The installer's helper program (make installer-windows).
add_subdirectory(packaging/windows)
if(KESTRAVON_BUILD_BENCH)
  add_subdirectory(bench)
endif()
if(KESTRAVON_BUILD_TESTS AND EXISTS ${CMAKE_SOURCE_DIR}/tests/ui/win32/CMakeLists.txt)
  enable_testing()
  add_subdirectory(tests/ui/win32)
endif()

# ---- Packaging (make package-windows): the zip; its files and CPack set-up ----------
include(${CMAKE_SOURCE_DIR}/cmake/package-zip.cmake)
