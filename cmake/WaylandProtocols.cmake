# Wayland protocols turned into client code with wayland-scanner at build
# time: the system's (wayland-protocols, plasma-wayland-protocols) and the
# ones vendored in third_party/wayland-protocols. One static C library,
# corvane_wayland_protocols, holds them all; include "<name>-client-protocol.h".
find_package(PkgConfig REQUIRED)
pkg_check_modules(WAYLAND_CLIENT REQUIRED IMPORTED_TARGET wayland-client)
pkg_check_modules(XKBCOMMON REQUIRED IMPORTED_TARGET xkbcommon)
pkg_get_variable(WAYLAND_PROTOCOLS_DIR wayland-protocols pkgdatadir)
find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)
find_path(PLASMA_WAYLAND_PROTOCOLS_DIR fake-input.xml PATHS /usr/share/plasma-wayland-protocols REQUIRED)

set(CORVANE_VENDORED_PROTOCOLS ${PROJECT_SOURCE_DIR}/third_party/wayland-protocols)
set(CORVANE_WAYLAND_PROTOCOL_FILES
    ${WAYLAND_PROTOCOLS_DIR}/stable/xdg-shell/xdg-shell.xml
    ${WAYLAND_PROTOCOLS_DIR}/unstable/xdg-output/xdg-output-unstable-v1.xml
    ${PLASMA_WAYLAND_PROTOCOLS_DIR}/fake-input.xml
    ${PLASMA_WAYLAND_PROTOCOLS_DIR}/plasma-window-management.xml
    ${CORVANE_VENDORED_PROTOCOLS}/wlr-data-control-unstable-v1.xml
    ${CORVANE_VENDORED_PROTOCOLS}/wlr-foreign-toplevel-management-unstable-v1.xml
    ${CORVANE_VENDORED_PROTOCOLS}/wlr-layer-shell-unstable-v1.xml
    ${CORVANE_VENDORED_PROTOCOLS}/wlr-screencopy-unstable-v1.xml
    ${CORVANE_VENDORED_PROTOCOLS}/wlr-virtual-pointer-unstable-v1.xml
    ${CORVANE_VENDORED_PROTOCOLS}/virtual-keyboard-unstable-v1.xml)

set(generated ${CMAKE_BINARY_DIR}/wayland-protocols)
file(MAKE_DIRECTORY ${generated})
set(sources)
foreach(xml ${CORVANE_WAYLAND_PROTOCOL_FILES})
  get_filename_component(name ${xml} NAME_WE)
  add_custom_command(
    OUTPUT ${generated}/${name}-client-protocol.h ${generated}/${name}-protocol.c
    COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${generated}/${name}-client-protocol.h
    COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${generated}/${name}-protocol.c
    DEPENDS ${xml}
    VERBATIM)
  list(APPEND sources ${generated}/${name}-protocol.c ${generated}/${name}-client-protocol.h)
endforeach()
add_library(corvane_wayland_protocols STATIC ${sources})
target_include_directories(corvane_wayland_protocols PUBLIC ${generated})
target_link_libraries(corvane_wayland_protocols PUBLIC PkgConfig::WAYLAND_CLIENT)
