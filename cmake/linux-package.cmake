# The Linux edition as a subscriber installs it: the Russian message catalogue,
# the man page, bash completion and documentation, and the Debian package.
find_program(TARVELON_MSGFMT msgfmt REQUIRED)
find_program(TARVELON_GZIP gzip REQUIRED)

set(catalogue ${CMAKE_BINARY_DIR}/locale/ru/LC_MESSAGES/tarvelon.mo)
add_custom_command(OUTPUT ${catalogue}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/locale/ru/LC_MESSAGES
  COMMAND ${TARVELON_MSGFMT} --check -o ${catalogue} ${CMAKE_SOURCE_DIR}/po/ru.po
  DEPENDS po/ru.po)
# gzip -n: no file name or time in the header, so the bytes depend on the text only.
set(compressed)
foreach(file docs/tarvelon.1 packaging/changelog)
  get_filename_component(name ${file} NAME)
  set(output ${CMAKE_BINARY_DIR}/packaging/${name}.gz)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND ${TARVELON_GZIP} -9n < ${CMAKE_SOURCE_DIR}/${file} > ${output}
    DEPENDS ${file})
  list(APPEND compressed ${output})
endforeach()
add_custom_target(tarvelon_data ALL DEPENDS ${catalogue} ${compressed})

set(docdir ${CMAKE_INSTALL_DATADIR}/doc/tarvelon)
install(TARGETS tarvelon RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${catalogue} DESTINATION ${CMAKE_INSTALL_LOCALEDIR}/ru/LC_MESSAGES)
install(FILES ${CMAKE_BINARY_DIR}/packaging/tarvelon.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/completion.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME tarvelon)
install(FILES packaging/copyright packaging/README ${CMAKE_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${docdir})

configure_file(packaging/postinst.in ${CMAKE_BINARY_DIR}/packaging/postinst @ONLY)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvelon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(CPACK_PACKAGE_CONTACT "Tarvelon developers <tarvelon@example.net>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "ISP account balance and connection status")
# CPack puts the summary first and indents these lines.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "tarvelon asks the provider's billing service for the subscriber's account
balance and the days of subscription fee it covers, and shows the
connection's IPv4 address, traffic counters and, behind a home router, the
external address learned by one ICMP echo with Record Route.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${TARVELON_HOME_URL})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libcap2-bin)  # setcap, for the postinst
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/postinst)
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
