# The Linux edition as a subscriber installs it, in two Debian packages: tarvelon,
# the command with the Russian message catalogue, man page, bash completion and
# documentation; and tarvelon-tray (with TARVELON_TRAY), the tray program with its
# man page, desktop entries and icons, so that the command stays free of GTK.
find_program(TARVELON_MSGFMT msgfmt REQUIRED)
find_program(TARVELON_GZIP gzip REQUIRED)

set(catalogue ${CMAKE_BINARY_DIR}/locale/ru/LC_MESSAGES/tarvelon.mo)
add_custom_command(OUTPUT ${catalogue}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/locale/ru/LC_MESSAGES
  COMMAND ${TARVELON_MSGFMT} --check -o ${catalogue} ${CMAKE_SOURCE_DIR}/po/ru.po
  DEPENDS po/ru.po)
# gzip -n: no file name or time in the header, so the bytes depend on the text only.
set(compressed)
set(manuals docs/tarvelon.1)
if(TARVELON_TRAY)
  list(APPEND manuals docs/tarvelon-tray.1)
endif()
foreach(file ${manuals} packaging/changelog)
  get_filename_component(name ${file} NAME)
  set(output ${CMAKE_BINARY_DIR}/packaging/${name}.gz)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND ${TARVELON_GZIP} -9n < ${CMAKE_SOURCE_DIR}/${file} > ${output}
    DEPENDS ${file})
  list(APPEND compressed ${output})
endforeach()
add_custom_target(tarvelon_data ALL DEPENDS ${catalogue} ${compressed})

install(TARGETS tarvelon RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT command)
install(FILES ${catalogue} DESTINATION ${CMAKE_INSTALL_LOCALEDIR}/ru/LC_MESSAGES COMPONENT command)
install(FILES ${CMAKE_BINARY_DIR}/packaging/tarvelon.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT command)
install(FILES packaging/completion.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME tarvelon COMPONENT command)
install(FILES packaging/copyright packaging/README ${CMAKE_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarvelon COMPONENT command)
set(CPACK_COMPONENTS_ALL command)
if(TARVELON_TRAY)
  set(autostart ${CMAKE_INSTALL_FULL_SYSCONFDIR}/xdg/autostart)
  install(TARGETS tarvelon-tray RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tray)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/tarvelon-tray.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT tray)
  install(FILES packaging/tarvelon-tray.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT tray)
  install(FILES packaging/tarvelon-tray.desktop DESTINATION ${autostart} COMPONENT tray)
  install(DIRECTORY res/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons COMPONENT tray)
  install(FILES packaging/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarvelon-tray COMPONENT tray)
  list(APPEND CPACK_COMPONENTS_ALL tray)
  # The autostart entry is the administrator's to edit or empty: dpkg keeps it.
  file(WRITE ${CMAKE_BINARY_DIR}/packaging/tray/conffiles "${autostart}/tarvelon-tray.desktop\n")
endif()

configure_file(packaging/postinst.in ${CMAKE_BINARY_DIR}/packaging/postinst @ONLY)
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_PACKAGE_NAME tarvelon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(CPACK_PACKAGE_CONTACT "Tarvelon developers <tarvelon@example.net>")
# Each description's first line is the package's summary; CPack indents the rest.
set(CPACK_DEBIAN_COMMAND_PACKAGE_NAME tarvelon)
set(CPACK_DEBIAN_COMMAND_DESCRIPTION "ISP account balance and connection status
tarvelon asks the provider's billing service for the subscriber's account
balance and the days of subscription fee it covers, and shows the
connection's IPv4 address, traffic counters and, behind a home router, the
external address learned by one ICMP echo with Record Route.")
set(CPACK_DEBIAN_COMMAND_PACKAGE_RECOMMENDS libcap2-bin)  # setcap, for the postinst
set(CPACK_DEBIAN_COMMAND_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/postinst)
set(CPACK_DEBIAN_TRAY_PACKAGE_NAME tarvelon-tray)
set(CPACK_DEBIAN_TRAY_DESCRIPTION "ISP account balance and connection status in the desktop's tray
tarvelon-tray puts an icon into the tray of desktops that host
StatusNotifierItems (KDE Plasma, Xfce, LXQt, Cinnamon, MATE; GNOME with its
AppIndicator extension). Its tooltip shows the connection's address and
traffic counters and the external address; a click shows the account
balance after a login dialog.")
# The external address comes from the command's probe, which holds the capability.
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_TRAY_DEPENDS command)
set(CPACK_DEBIAN_TRAY_PACKAGE_SUGGESTS gnome-shell-extension-appindicator)
set(CPACK_DEBIAN_TRAY_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/tray/conffiles)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${TARVELON_HOME_URL})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
# Every time inside the package is the last commit's (or SOURCE_DATE_EPOCH's, when
# the build sets it), so that the same source gives the same package.
set(source_date "$ENV{SOURCE_DATE_EPOCH}")
if(source_date STREQUAL "")
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                  OUTPUT_VARIABLE source_date OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT source_date STREQUAL "")
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/packaging/source-date.cmake)
  file(WRITE ${CPACK_PROJECT_CONFIG_FILE} "set(ENV{SOURCE_DATE_EPOCH} ${source_date})\n")
endif()
include(CPack)
