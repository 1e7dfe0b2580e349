# The client's version as the window shows it: the caption, the About box and the Windows
# version resource (KESTRAVON_CLIENT_VERSION, e.g. 0.217 for a release). The texts land
# in <build>/generated/ui/resources/client_version.h, which the dialog templates and the
# Windows resource script include; changing the version rebuilds only those.
#
# Version 0.216 is the client as it first shipped, and it keeps the texts it had then: an
# About box reading "버전 1.0" and the version resource 0.1.15.3 / 1.0.0.1, which do not
# agree with its caption. Every other version shows itself in all three places.
set(KESTRAVON_CLIENT_VERSION "0.216" CACHE STRING
  "The client's version (digits and dots, up to four parts): caption, About box, version resource")
if(NOT KESTRAVON_CLIENT_VERSION MATCHES "^[0-9]+(\\.[0-9]+)?(\\.[0-9]+)?(\\.[0-9]+)?$")
  message(FATAL_ERROR "KESTRAVON_CLIENT_VERSION must be up to four dot-separated numbers, such as 0.217")
endif()

string(REPLACE "." ";" _kestravon_version_parts "${KESTRAVON_CLIENT_VERSION}")
list(LENGTH _kestravon_version_parts _kestravon_version_count)
while(_kestravon_version_count LESS 4)
  list(APPEND _kestravon_version_parts 0)
  math(EXPR _kestravon_version_count "${_kestravon_version_count} + 1")
endwhile()
foreach(_part IN LISTS _kestravon_version_parts)
  # Each part is a 16-bit field of the version resource.
  string(LENGTH "${_part}" _length)
  if(_length GREATER 5 OR _part GREATER 65535)
    message(FATAL_ERROR "KESTRAVON_CLIENT_VERSION: each part must be at most 65535")
  endif()
endforeach()

if(KESTRAVON_CLIENT_VERSION STREQUAL "0.216")
  set(KESTRAVON_ABOUT_VERSION "1.0")
  set(KESTRAVON_FILE_VERSION_TEXT "0.1.15.3")
  set(KESTRAVON_PRODUCT_VERSION_TEXT "1.0.0.1")
  set(KESTRAVON_FIXED_VERSION "1,0,0,1")
else()
  set(KESTRAVON_ABOUT_VERSION "${KESTRAVON_CLIENT_VERSION}")
  set(KESTRAVON_FILE_VERSION_TEXT "${KESTRAVON_CLIENT_VERSION}")
  set(KESTRAVON_PRODUCT_VERSION_TEXT "${KESTRAVON_CLIENT_VERSION}")
  # Leading zeros would read as octal in the resource script.
  set(KESTRAVON_FIXED_VERSION "")
  foreach(_part IN LISTS _kestravon_version_parts)
    math(EXPR _part "${_part} + 0")
    list(APPEND KESTRAVON_FIXED_VERSION ${_part})
  endforeach()
  string(REPLACE ";" "," KESTRAVON_FIXED_VERSION "${KESTRAVON_FIXED_VERSION}")
endif()

set(KESTRAVON_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_SOURCE_DIR}/ui/resources/client_version.h.in
  ${KESTRAVON_GENERATED_DIR}/ui/resources/client_version.h @ONLY)
