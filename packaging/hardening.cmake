# Debian's hardening build flags (dpkg-buildflags) for every target, in the normal build and the package alike.
# Fortify, stack protector and format checks from the compile flags, relro and bind-now from the link flags;
# PIE through CMake, whatever the compiler's default. Without dpkg-buildflags (not Debian), nothing is added.
find_program(DPKG_BUILDFLAGS dpkg-buildflags)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
include(CheckPIESupported)
check_pie_supported()
if(NOT DPKG_BUILDFLAGS)
  return()
endif()

# dpkg-buildflags --get KIND with every hardening feature on. The build type keeps its say over optimisation
# and debug information, and debug paths stay absolute for the debugger.
function(debian_hardening_flags kind out)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                          ${DPKG_BUILDFLAGS} --get ${kind}
                  OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  list(FILTER flags EXCLUDE REGEX "^-g$|^-O|^-ffile-prefix-map=")
  set(${out} ${flags} PARENT_SCOPE)
endfunction()

debian_hardening_flags(CPPFLAGS cppflags)
debian_hardening_flags(CXXFLAGS cxxflags)
debian_hardening_flags(LDFLAGS ldflags)
# glibc's fortified functions need optimisation, and under the sanitizers they would hide accesses that
# AddressSanitizer checks better itself (not every checked variant is intercepted).
set(fortify ${cppflags})
list(FILTER fortify INCLUDE REGEX "^-D_FORTIFY_SOURCE")
list(FILTER cppflags EXCLUDE REGEX "^-D_FORTIFY_SOURCE")
if(PELMORA_SANITIZE)
  set(fortify "")
endif()
add_compile_options("$<$<NOT:$<CONFIG:Debug>>:${fortify}>")
add_compile_options(${cppflags} ${cxxflags})
add_link_options(${ldflags})
string(JOIN " " shown ${fortify} ${cppflags} ${cxxflags} ${ldflags})
message(STATUS "Debian hardening flags: ${shown}")
