# Debian packages from what `cmake --install` installs, one package for each component:
#   posdip            the window, its desktop entry, AppStream data and icons
#   posdip-cli        the command line, its shell completions, the status timer that writes
#                     metrics for Prometheus, and the monitoring plugin check_posdip
#   posdip-emulator   the stand-in printer
#   posdip-libposdll  the private device library both posdip and posdip-cli load
# `make package` (or `cpack` in the build folder) writes them into the build folder.
# Besides the CPack set-up, this file installs what every package carries: the manual pages, the
# completions, and /usr/share/doc/PACKAGE/ with the copyright file and the changelog.
# `make package` also builds the Ansible collection's tarball into the build folder.

set(POSDIP_MAINTAINER "posdip developers <posdip@example.org>")
set(posdip_packages posdip-cli posdip-emulator posdip-libposdll)
# The window's package exists only where the window is built.
if(POSDIP_BUILD_GUI)
  list(PREPEND posdip_packages posdip)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/posdip
          COMPONENT posdip)
endif()

# Manual pages and the changelog are installed compressed, as Debian expects; -n leaves the name
# and time out so that two builds give the same bytes.
set(posdip_doc_build ${CMAKE_BINARY_DIR}/doc)
function(posdip_gzip source output)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${posdip_doc_build}
    COMMAND gzip -9n -c ${source} > ${output}
    DEPENDS ${source}
    VERBATIM)
endfunction()

# posdip-cli's completions and the SYNOPSIS and OPTIONS of its manual page are generated from its
# option table.
configure_file(${PROJECT_SOURCE_DIR}/docs/posdip-cli.1.in ${posdip_doc_build}/posdip-cli.1.in @ONLY)
set(posdip_cli_generated ${posdip_doc_build}/posdip-cli.bash ${posdip_doc_build}/_posdip-cli)
add_custom_command(
  OUTPUT ${posdip_doc_build}/posdip-cli.1 ${posdip_cli_generated}
  COMMAND posdip-cli-gen ${posdip_doc_build}/posdip-cli.1.in ${posdip_doc_build}
  DEPENDS posdip-cli-gen ${posdip_doc_build}/posdip-cli.1.in
  VERBATIM)

# Every program's package has its manual page, its footer naming this version; the library's
# has none.
set(posdip_man_pages ${posdip_packages})
list(REMOVE_ITEM posdip_man_pages posdip-libposdll)
set(posdip_compressed "")
foreach(page ${posdip_man_pages})
  if(NOT page STREQUAL posdip-cli)
    configure_file(${PROJECT_SOURCE_DIR}/docs/${page}.1.in ${posdip_doc_build}/${page}.1 @ONLY)
  endif()
  set(gz ${posdip_doc_build}/${page}.1.gz)
  posdip_gzip(${posdip_doc_build}/${page}.1 ${gz})
  install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${page})
  list(APPEND posdip_compressed ${gz})
endforeach()

# The changelog's date is the release date in the form Debian changelogs use.
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C date -u -R -d ${POSDIP_RELEASE_DATE}
                OUTPUT_VARIABLE POSDIP_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
configure_file(${PROJECT_SOURCE_DIR}/docs/changelog.in ${posdip_doc_build}/changelog @ONLY)
set(changelog ${posdip_doc_build}/changelog.gz)
posdip_gzip(${posdip_doc_build}/changelog ${changelog})
add_custom_target(posdip_compressed_docs ALL DEPENDS ${posdip_compressed} ${changelog}
  ${posdip_cli_generated})

# The copyright file in Debian's machine-readable format, its licence text taken from LICENSE:
# every line indented by one space, an empty line written as " .".
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license_text)
string(STRIP "${license_text}" license_text)
string(REGEX REPLACE "\n\n" "\n.\n" license_text "${license_text}")
string(REGEX REPLACE "\n" "\n " license_text "${license_text}")
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" _ "${license_text}")
set(copyright_holder "${CMAKE_MATCH_1}")
set(copyright ${posdip_doc_build}/copyright)
file(CONFIGURE OUTPUT ${copyright} CONTENT
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${PROJECT_NAME}
Source: ${PROJECT_HOMEPAGE_URL}

Files: *
Copyright: ${copyright_holder}
License: MIT
 ${license_text}
")

foreach(package ${posdip_packages})
  install(FILES ${copyright} ${changelog} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package}
          COMPONENT ${package})
endforeach()

install(FILES ${posdip_doc_build}/posdip-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME posdip-cli
        COMPONENT posdip-cli)
install(FILES ${posdip_doc_build}/_posdip-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions COMPONENT posdip-cli)

# The status of every printer in /etc/posdip/targets each minute, for the node exporter's
# textfile collector, with its options in /etc/default (a conffile); and check_posdip, which runs
# `posdip-cli check` for monitoring systems that run plugins.
set(posdip_packaging ${PROJECT_SOURCE_DIR}/packaging)
install(FILES ${posdip_packaging}/posdip-status.service ${posdip_packaging}/posdip-status.timer
        DESTINATION lib/systemd/system COMPONENT posdip-cli)
# The options file goes to /etc beside a prefix of /usr, as in the packages, else to PREFIX/etc
# (GNU's sysconfdir, decided when installing, so that --prefix moves it too).
set(posdip_status_options default/posdip-status)
get_filename_component(dir ${posdip_status_options} DIRECTORY)
get_filename_component(name ${posdip_status_options} NAME)
install(CODE "
  set(etc \"\${CMAKE_INSTALL_PREFIX}/etc\")
  if(CMAKE_INSTALL_PREFIX MATCHES \"/usr/?$\")
    get_filename_component(etc \"\${CMAKE_INSTALL_PREFIX}/../etc\" ABSOLUTE)
  endif()
  file(INSTALL \"${posdip_packaging}/posdip-status.default\" DESTINATION \"\${etc}/${dir}\"
       RENAME ${name})" COMPONENT posdip-cli)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/debian/posdip-cli/conffiles
     CONTENT "/etc/${posdip_status_options}\n")
install(PROGRAMS ${posdip_packaging}/check_posdip DESTINATION lib/nagios/plugins
        COMPONENT posdip-cli)

# A stripped install (cpack, `cmake --install --strip`) also drops the compiler's .comment
# section from the programs and the library, as Debian's own packages do.
foreach(package ${posdip_packages})
  if(package STREQUAL posdip-libposdll)
    set(elf "${POSDIP_PRIVATE_LIBDIR}/$<TARGET_FILE_NAME:posdll>")
  else()
    set(elf "${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:${package}>")
  endif()
  install(CODE "if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${elf}\" COMMAND_ERROR_IS_FATAL ANY)
  endif()" COMPONENT ${package})
endforeach()

# The Ansible collection's tarball, as Ansible Galaxy takes it.
set(posdip_collection ${PROJECT_SOURCE_DIR}/ansible/ansible_collections/posdip/printers)
add_custom_target(posdip_collection
  COMMAND ansible-galaxy collection build --force --output-path ${CMAKE_BINARY_DIR}
          ${posdip_collection}
  VERBATIM)

# CPack
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "posdip developers")
set(CPACK_PACKAGE_CONTACT "${POSDIP_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${posdip_packages})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${POSDIP_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps finds libposdll here; the dependency on its package is written below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/${POSDIP_PRIVATE_LIBDIR})
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Each package's description starts with its own synopsis line, not the project's description.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/CPackProject.cmake)

set(common_description
    "posdip configures a point-of-sale receipt printer through its DIP-switch
commands: cutter, beeper, print density, two-byte character code, characters
a line, paper-taken detection and the serial line rate. It reaches the printer
over the network (raw TCP), a serial or parallel port, or a print queue.")

set(CPACK_DEBIAN_POSDIP_PACKAGE_NAME posdip)
set(CPACK_DEBIAN_POSDIP_PACKAGE_RECOMMENDS posdip-cli)
set(CPACK_DEBIAN_POSDIP_PACKAGE_SUGGESTS posdip-emulator)
set(CPACK_DEBIAN_POSDIP_DESCRIPTION "receipt printer DIP-switch settings in a window
${common_description}
.
This package holds the settings window.")

set(CPACK_DEBIAN_POSDIP-CLI_PACKAGE_NAME posdip-cli)
set(CPACK_DEBIAN_POSDIP-CLI_PACKAGE_SUGGESTS "posdip-emulator, prometheus-node-exporter")
set(CPACK_DEBIAN_POSDIP-CLI_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/debian/posdip-cli/conffiles)
set(CPACK_DEBIAN_POSDIP-CLI_DESCRIPTION "receipt printer DIP-switch settings from the command line
${common_description}
.
This package holds posdip-cli, which sends the same frames as the window to one
printer or to a whole list of them at once, and its bash and zsh completions.")

set(CPACK_DEBIAN_POSDIP-EMULATOR_PACKAGE_NAME posdip-emulator)
set(CPACK_DEBIAN_POSDIP-EMULATOR_DESCRIPTION "stand-in receipt printer for posdip
posdip-emulator takes connections on a TCP address, or makes a pseudo-terminal
for the serial path, and prints every DIP-switch command frame it receives and
what it means. It lets posdip and posdip-cli be tried without a printer.")

set(CPACK_DEBIAN_POSDIP-LIBPOSDLL_PACKAGE_NAME posdip-libposdll)
set(CPACK_DEBIAN_POSDIP-LIBPOSDLL_PACKAGE_SECTION libs)
# The print queue transport loads libcups when it is first used, where dpkg-shlibdeps cannot see.
set(CPACK_DEBIAN_POSDIP-LIBPOSDLL_PACKAGE_RECOMMENDS libcups2)
set(CPACK_DEBIAN_POSDIP-LIBPOSDLL_DESCRIPTION "device library of posdip (private)
${common_description}
.
This package holds libposdll, which opens the port, writes a command frame as
one document and closes the port again, for posdip and posdip-cli. It is
private to them and installed outside the linker's search path.")

include(CPack)
cpack_add_component(posdip-libposdll)
cpack_add_component(posdip DEPENDS posdip-libposdll)
cpack_add_component(posdip-cli DEPENDS posdip-libposdll)
cpack_add_component(posdip-emulator)
