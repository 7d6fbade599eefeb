# The desktop launcher, the installed layout (`make install`, honouring the
# install prefix and DESTDIR) and the Debian package (`make package`).
#
# Installed layout below the prefix:
#   bin/fwkhttpd, bin/formwick-install, bin/formwick-collect
#   share/formwick/root/            the sample server root (demo/)
#   share/doc/formwick/             README.md, authoring.md, operating.md,
#                                   copyright
#   share/man/man1/fwkhttpd.1, formwick-collect.1
#   lib/systemd/system/formwick.service, or, for a prefix in the installing
#   user's home, share/systemd/user/formwick.service (a unit of the user's
#   own systemd)

fwk_subsystem(install install fwk_platform)
# CMake reserves the target name "install", and Ninja also the file name
# (it aliases every program's file name to its target). So the program is
# built as formwick-install, the name it is installed under (a program named
# "install" in a bin directory would shadow the system's install command),
# and copied to launcher/install, the launcher's own name.
add_executable(formwick_install install/install_main.cpp)
target_link_libraries(formwick_install PRIVATE fwk_install)
set_target_properties(formwick_install PROPERTIES OUTPUT_NAME formwick-install)
add_custom_command(TARGET formwick_install POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:formwick_install>
          ${CMAKE_BINARY_DIR}/launcher/install
  BYPRODUCTS ${CMAKE_BINARY_DIR}/launcher/install)

include(GNUInstallDirs)

set(FWK_SYSTEMD_UNIT_DIR "lib/systemd/system" CACHE STRING
    "Directory of the systemd unit (relative to the install prefix, or absolute)")

if(TARGET fwkhttpd)
  install(TARGETS fwkhttpd RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(TARGETS formwick_install RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS formwick-collect RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY demo/ DESTINATION ${CMAKE_INSTALL_DATADIR}/formwick/root)
install(FILES README.md docs/authoring.md docs/operating.md install/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES install/fwkhttpd.1 install/formwick-collect.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The unit names the installed program and sample root, so it is written at
# install time from the prefix then in effect (`cmake --install --prefix`,
# CPack's /usr).
# A prefix inside the installing user's home ($HOME/.local) gets the unit
# of a user's own systemd, in share/systemd/user, where that systemd reads
# it; any other prefix the system's unit.
install(CODE "
  set(FWK_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  set(FWK_SAMPLE_ROOT \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/formwick/root\")
  set(FWK_UNIT_DIR \"${FWK_SYSTEMD_UNIT_DIR}\")
  set(FWK_UNIT_TEMPLATE \"${CMAKE_SOURCE_DIR}/install/formwick.service.in\")
  set(FWK_HOME \"\$ENV{HOME}\")
  set(FWK_USER_UNIT OFF)
  if(FWK_HOME AND NOT FWK_HOME STREQUAL \"/\")
    string(FIND \"\${CMAKE_INSTALL_PREFIX}/\" \"\${FWK_HOME}/\" FWK_IN_HOME)
    if(FWK_IN_HOME EQUAL 0)
      set(FWK_USER_UNIT ON)
      set(FWK_UNIT_DIR \"${CMAKE_INSTALL_DATADIR}/systemd/user\")
      set(FWK_UNIT_TEMPLATE \"${CMAKE_SOURCE_DIR}/install/formwick-user.service.in\")
    endif()
  endif()
  if(NOT IS_ABSOLUTE \"\${FWK_UNIT_DIR}\")
    set(FWK_UNIT_DIR \"\${CMAKE_INSTALL_PREFIX}/\${FWK_UNIT_DIR}\")
  endif()
  # One copy per destination, so that installs to different places at the
  # same time do not share the file.
  string(MD5 FWK_UNIT_COPY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  set(FWK_UNIT_COPY \"${CMAKE_BINARY_DIR}/unit/\${FWK_UNIT_COPY}/formwick.service\")
  configure_file(\"\${FWK_UNIT_TEMPLATE}\" \"\${FWK_UNIT_COPY}\" @ONLY)
  file(INSTALL \"\${FWK_UNIT_COPY}\" DESTINATION \"\${FWK_UNIT_DIR}\")
  if(FWK_USER_UNIT)
    message(STATUS \"Formwick as your own service: systemctl --user daemon-reload && \"
                   \"systemctl --user enable --now formwick\")
  endif()
")

# Debian package: the installed layout below /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME formwick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Formwick")
set(CPACK_PACKAGE_CONTACT "Formwick developers <formwick@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "survey and data-entry form server for offline devices")
set(CPACK_PACKAGE_DESCRIPTION [[
Formwick serves surveys and data-entry forms to a browser, keeps the
answers in plain tab-delimited files, lets authorised users browse and
report on them, and forwards submissions by mail once online. The package
holds the fwkhttpd server, a sample server root with demo surveys, the
systemd service formwick.service, and formwick-collect, which merges the
response mails of many devices into one server root or PostgreSQL
database.]])
# Staged with DESTDIR, so that the install prefix (written into the unit) is
# /usr itself, not the staging directory.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/install/debian/postinst
    ${CMAKE_SOURCE_DIR}/install/debian/prerm
    ${CMAKE_SOURCE_DIR}/install/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
