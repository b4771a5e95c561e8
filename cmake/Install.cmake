# What `cmake --install` puts where (FHS/XDG places under the prefix) and the
# Debian package `cpack -G DEB` makes of it. tools/check_package.sh builds the
# package and checks its contents.
include(GNUInstallDirs)
# `ninja install` and cpack build nothing first (otherwise the whole test
# suite): build velmora and velmora_desktop_files before installing.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

find_package(Qt6 REQUIRED COMPONENTS Gui Svg)

# The icon in the hicolor sizes, rendered from the SVG at build time.
add_executable(velmora_render_icon ${PROJECT_SOURCE_DIR}/tools/icons/RenderIcon.cpp)
target_compile_options(velmora_render_icon PRIVATE ${VELMORA_WARNINGS})
target_link_libraries(velmora_render_icon PRIVATE Qt6::Gui Qt6::Svg)
set(VELMORA_ICON_SVG ${PROJECT_SOURCE_DIR}/resources/desktop/velmora.svg)
set(VELMORA_ICON_SIZES 16 22 24 32 48 64 128 256)
set(_icons)
foreach(size IN LISTS VELMORA_ICON_SIZES)
  set(_png ${PROJECT_BINARY_DIR}/icons/${size}x${size}/velmora.png)
  add_custom_command(OUTPUT ${_png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/icons/${size}x${size}
    COMMAND velmora_render_icon ${VELMORA_ICON_SVG} ${size} ${_png}
    DEPENDS velmora_render_icon ${VELMORA_ICON_SVG} VERBATIM)
  list(APPEND _icons ${_png})
  install(FILES ${_png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# The man page, compressed as Debian keeps them (no time stamp: -n).
set(_man ${PROJECT_BINARY_DIR}/man/velmora.1.gz)
add_custom_command(OUTPUT ${_man}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
  COMMAND sh -c "gzip -9n < \"$0\" > \"$1\"" ${PROJECT_SOURCE_DIR}/docs/velmora.1 ${_man}
  DEPENDS ${PROJECT_SOURCE_DIR}/docs/velmora.1 VERBATIM)

# The Debian change log, compressed the same way; the package's version is
# its newest entry's (tools/check_package.sh compares them).
set(_changelog ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz)
add_custom_command(OUTPUT ${_changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/debian
  COMMAND sh -c "gzip -9n < \"$0\" > \"$1\"" ${PROJECT_SOURCE_DIR}/debian/changelog ${_changelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/debian/changelog VERBATIM)

add_custom_target(velmora_desktop_files ALL DEPENDS ${_icons} ${_man} ${_changelog})

# The release date honours SOURCE_DATE_EPOCH, so a rebuilt package is the same.
string(TIMESTAMP VELMORA_RELEASE_DATE "%Y-%m-%d" UTC)
configure_file(${PROJECT_SOURCE_DIR}/resources/desktop/org.velmora.Velmora.metainfo.xml
  ${PROJECT_BINARY_DIR}/org.velmora.Velmora.metainfo.xml @ONLY)

install(TARGETS velmora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/velmora.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_BINARY_DIR}/org.velmora.Velmora.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${VELMORA_ICON_SVG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The licence (debian/copyright, machine-readable), the change log and the
# lintian overrides, where Debian keeps them.
install(FILES ${PROJECT_SOURCE_DIR}/debian/copyright ${_changelog}
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmora)
install(FILES ${PROJECT_SOURCE_DIR}/debian/velmora.lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME velmora)
# The language files the program carries built in (and writes into its data
# directory), beside it for translators and for `velmora --check-language`.
install(FILES ${PROJECT_SOURCE_DIR}/resources/lang/english.lng
  ${PROJECT_SOURCE_DIR}/resources/lang/polish.lng ${PROJECT_SOURCE_DIR}/resources/lang/german.lng
  DESTINATION ${CMAKE_INSTALL_DATADIR}/velmora/lang)
# The manual: the same files the program carries in its resources
# (resources/manual/manual.qrc), found by the program beside its bin folder.
file(STRINGS ${PROJECT_SOURCE_DIR}/resources/manual/manual.qrc _qrc REGEX "<file ")
foreach(line IN LISTS _qrc)
  string(REGEX REPLACE ".*alias=\"([^\"]+)\">([^<]+)<.*" "\\1;\\2" _pair "${line}")
  list(GET _pair 0 _alias)
  list(GET _pair 1 _file)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/manual/${_file}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmora/manual RENAME ${_alias})
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/resources/manual/manual.qrc)

set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR "The Velmora developers")
set(CPACK_PACKAGE_CONTACT "The Velmora developers <velmora@velmora.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "POP3 mail checker that removes unwanted mail on the server")
set(CPACK_PACKAGE_DESCRIPTION "Velmora watches several POP3 mailboxes, shows new mail with a preview,
announces it (tray icon, sound, notification window) and deletes unwanted
messages on the server without downloading them. It writes mail through
SMTP, keeps an address book and runs its operations from the command line.")
set(CPACK_STRIP_FILES ON)
# Debian revision 1 of the project's version: the package is not native,
# so its change log is changelog.Debian.gz (debian/changelog).
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://velmora.example.org/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Depends comes from dpkg-shlibdeps (it also finds the web engine's helper
# process package, and libsecret for the desktop keyring); recommended are
# the desktop tools that open links and the manual, Qt's translations
# (message box buttons and dialogs in the chosen language), the fonts that draw mail
# in every script (Latin, Greek, Cyrillic, CJK, emoji) and the fixed-pitch
# text views, and a Secret Service on the session bus for "Keep passwords in
# the desktop keyring".
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
  "xdg-utils, qt6-translations-l10n, fonts-dejavu-core, fonts-noto-core, fonts-noto-mono, fonts-noto-cjk, fonts-noto-color-emoji, default-dbus-session-bus | dbus-session-bus, gnome-keyring | keepassxc | kwalletmanager")
set(CPACK_GENERATOR DEB)
include(CPack)
