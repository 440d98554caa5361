# The programs and the library are built with Debian's hardening flags, as dpkg-buildflags gives
# them to Debian's own packages: fortified libc calls, the stack protector, format checks,
# read-only relocations bound at start (relro, bindnow) and position-independent executables.
# The build type keeps choosing the optimisation and debug information, and fortification is left
# out where nothing is optimised (it needs -O). The sanitizer and fuzzing builds go without: they
# bring their own instrumentation.
if(POSDIP_SANITIZE OR POSDIP_FUZZ)
  return()
endif()
find_program(POSDIP_DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)
# posdip_buildflags(VAR FLAG): the hardening part of dpkg-buildflags' FLAG as a list.
function(posdip_buildflags var flag)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env "DEB_BUILD_MAINT_OPTIONS=hardening=+all reproducible=-all"
            ${POSDIP_DPKG_BUILDFLAGS} --get ${flag}
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  list(FILTER flags EXCLUDE REGEX "^-(g|O.?)$")
  set(${var} ${flags} PARENT_SCOPE)
endfunction()
posdip_buildflags(posdip_cppflags CPPFLAGS)
posdip_buildflags(posdip_cflags CFLAGS)
posdip_buildflags(posdip_cxxflags CXXFLAGS)
posdip_buildflags(posdip_ldflags LDFLAGS)
add_compile_options("$<$<NOT:$<CONFIG:Debug>>:${posdip_cppflags}>"
                    "$<$<COMPILE_LANGUAGE:C>:${posdip_cflags}>"
                    "$<$<COMPILE_LANGUAGE:CXX>:${posdip_cxxflags}>")
add_link_options(${posdip_ldflags})
