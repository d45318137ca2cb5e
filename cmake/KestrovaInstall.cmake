# What `cmake --install` puts where, and the Debian package that cpack builds
# from it. Included after the folders are added: it installs their targets.

include(GNUInstallDirs)

# One id names the desktop entry, the metainfo and the icon, so that software
# centres and docks can tie the three together.
set(KESTROVA_APP_ID org.kestrova.Kestrova)
set(KESTROVA_MAINTAINER "Kestrova developers <kestrova@kestrova.example>"
    CACHE STRING "Maintainer named in the Debian package and its changelog")

# A umask of 002 would otherwise leave group-writable folders in the package.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(NOT KESTROVA_BUILD_APP)
  return()
endif()

install(TARGETS kestrova RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(NOT UNIX OR APPLE)
  return()
endif()

# The Qt front end that the program loads for a window or a box, in a
# folder of the package's own.
install(TARGETS kestrova_qt LIBRARY DESTINATION ${KESTROVA_MODULE_DIR}
  PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

set(kestrova_desktop ${PROJECT_SOURCE_DIR}/app/desktop)
set(kestrova_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(kestrova_generated ${PROJECT_BINARY_DIR}/packaging)

configure_file(${kestrova_desktop}/${KESTROVA_APP_ID}.metainfo.xml.in
               ${kestrova_generated}/${KESTROVA_APP_ID}.metainfo.xml @ONLY)
configure_file(${kestrova_packaging}/changelog.in ${kestrova_generated}/changelog @ONLY)
configure_file(${kestrova_packaging}/kestrova.1.in ${kestrova_generated}/kestrova.1 @ONLY)

# Debian wants both compressed at the highest level and without a time stamp,
# so that the package is the same however often it is built.
find_program(KESTROVA_GZIP gzip REQUIRED)
set(kestrova_compressed)
foreach(doc changelog kestrova.1)
  add_custom_command(OUTPUT ${kestrova_generated}/${doc}.gz
    COMMAND ${KESTROVA_GZIP} -9 -n -c ${kestrova_generated}/${doc} > ${kestrova_generated}/${doc}.gz
    DEPENDS ${kestrova_generated}/${doc}
    VERBATIM)
  list(APPEND kestrova_compressed ${kestrova_generated}/${doc}.gz)
endforeach()
add_custom_target(kestrova_compressed_docs ALL DEPENDS ${kestrova_compressed})

install(FILES ${kestrova_desktop}/${KESTROVA_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# "Copy path" and "Copy file name" in the file managers' right-click menus,
# each handing over the whole selection in one start, and on the view's
# background the folder shown. Nemo takes the background's from files of
# their own.
set(kestrova_right_click ${kestrova_desktop}/right-click/${KESTROVA_APP_ID})
install(FILES ${kestrova_right_click}.servicemenu.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/kio/servicemenus RENAME ${KESTROVA_APP_ID}.desktop)
foreach(action copy-path copy-file-name)
  install(FILES ${kestrova_right_click}.${action}.nemo_action ${kestrova_right_click}.${action}.background.nemo_action
          DESTINATION ${CMAKE_INSTALL_DATADIR}/nemo/actions)
  install(FILES ${kestrova_right_click}.${action}.action.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/file-manager/actions RENAME ${KESTROVA_APP_ID}.${action}.desktop)
  install(FILES ${kestrova_right_click}.${action}.sendto.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/Thunar/sendto RENAME ${KESTROVA_APP_ID}.${action}.desktop)
endforeach()
# GNOME Files takes extra entries system-wide only from an extension. It
# starts the program by its place relative to the extension's own, which
# holds in any prefix, whatever the user's PATH.
set(kestrova_nautilus_dir ${CMAKE_INSTALL_DATADIR}/nautilus-python/extensions)
file(RELATIVE_PATH KESTROVA_NAUTILUS_TO_PROGRAM
     ${CMAKE_INSTALL_FULL_DATADIR}/nautilus-python/extensions ${CMAKE_INSTALL_FULL_BINDIR}/kestrova)
configure_file(${kestrova_desktop}/right-click/kestrova_nautilus.py.in
               ${kestrova_generated}/kestrova_nautilus.py @ONLY)
install(FILES ${kestrova_generated}/kestrova_nautilus.py DESTINATION ${kestrova_nautilus_dir})
install(FILES ${kestrova_generated}/${KESTROVA_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 32 48)
  install(FILES ${PROJECT_SOURCE_DIR}/app/icons/kestrova-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${KESTROVA_APP_ID}.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/app/icons/kestrova.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${KESTROVA_APP_ID}.svg)
install(FILES ${kestrova_generated}/kestrova.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# lintian reads a package's overrides from here; each says why. Its one tag
# comes with AppStream 1.0 (Debian 13); Debian 12's lintian does not know the
# tag and fails a package that names it.
find_program(KESTROVA_APPSTREAMCLI appstreamcli)
if(KESTROVA_APPSTREAMCLI)
  execute_process(COMMAND ${KESTROVA_APPSTREAMCLI} --version OUTPUT_VARIABLE kestrova_appstream ERROR_QUIET)
  if(kestrova_appstream MATCHES "version: ([0-9]+)\\." AND CMAKE_MATCH_1 GREATER_EQUAL 1)
    install(FILES ${kestrova_packaging}/lintian-overrides
            DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME kestrova)
  endif()
endif()
# The version has no Debian revision, so Debian reads it as a native package,
# whose change log is changelog.gz rather than changelog.Debian.gz.
install(FILES ${kestrova_packaging}/copyright ${kestrova_generated}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package: `cpack -G DEB` in the build folder.
set(CPACK_PACKAGE_NAME kestrova)
set(CPACK_PACKAGE_VENDOR "Kestrova developers")
set(CPACK_PACKAGE_CONTACT "${KESTROVA_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "copy the full paths of files to the clipboard as text")
set(CPACK_PACKAGE_INSTALL_DIRECTORY kestrova)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KESTROVA_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Kestrova puts the paths of files dropped on its window, on its launcher or\n"
    "opened with it from a file manager on the clipboard, edited on the way:\n"
    "optional tags and final line break, and network paths in place of mapped\n"
    "drive letters. Right-click entries for GNOME Files, Dolphin, Nemo, PCManFM,\n"
    "Caja and Thunar copy the paths or the bare names of the whole selection.")
string(JOIN "" CPACK_DEBIAN_PACKAGE_DESCRIPTION ${CPACK_DEBIAN_PACKAGE_DESCRIPTION})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The interface is Japanese: without such a font its texts are boxes. On a
# pure Wayland session Qt needs its Wayland plugin. PCManFM shows the
# right-click entries only with libfm's modules, GNOME Files only with its
# Python extension loader.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "fonts-ipafont-gothic | fonts-japanese-gothic, qt6-wayland, libfm-modules, python3-nautilus")
set(CPACK_GENERATOR DEB)
include(CPack)

if(KESTROVA_BUILD_TESTS)
  foreach(tool gio xclip xdotool desktop-file-validate appstreamcli file)
    find_program(KESTROVA_TOOL_${tool} ${tool} REQUIRED)
  endforeach()
  find_program(KESTROVA_DBUS_RUN_SESSION dbus-run-session REQUIRED)
  # A session bus of its own, as on a desktop; without one GLib might start a
  # bus through X11 that outlives the test.
  kestrova_add_display_test(install_test
    COMMAND ${KESTROVA_DBUS_RUN_SESSION} -- bash ${PROJECT_SOURCE_DIR}/app/install_test.sh ${PROJECT_BINARY_DIR})

  # A package of sanitized or fuzzing binaries is of no use to anyone. The
  # right-click entries are files that the file managers read, the same in
  # every build, so the plain build alone chooses them in real file
  # managers, one run each (each as a user of its own, with a session bus
  # of its own).
  if(NOT KESTROVA_SANITIZE AND NOT KESTROVA_FUZZ)
    # The system's Python, which has GObject's bindings and Nautilus' types.
    find_program(KESTROVA_SYSTEM_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
    add_test(NAME nautilus_extension_test
      COMMAND ${KESTROVA_SYSTEM_PYTHON} ${kestrova_desktop}/right-click/nautilus_extension_test.py
              ${kestrova_generated}/kestrova_nautilus.py)
    set_tests_properties(nautilus_extension_test PROPERTIES TIMEOUT 60 SKIP_RETURN_CODE 77)
    foreach(manager nautilus dolphin caja thunar pcmanfm pcmanfm-qt nemo)
      add_test(NAME file_manager_${manager}_test
        COMMAND ${KESTROVA_XVFB_RUN} -a -s "-screen 0 1024x768x24 -noreset"
                bash ${PROJECT_SOURCE_DIR}/app/file_manager_test.sh ${PROJECT_BINARY_DIR} ${manager})
      set_tests_properties(file_manager_${manager}_test PROPERTIES RUN_SERIAL TRUE TIMEOUT 120 SKIP_RETURN_CODE 77)
    endforeach()

    foreach(tool dpkg-deb dpkg-shlibdeps lintian)
      find_program(KESTROVA_TOOL_${tool} ${tool} REQUIRED)
    endforeach()
    add_test(NAME package_test
      COMMAND bash ${PROJECT_SOURCE_DIR}/packaging/package_test.sh ${PROJECT_BINARY_DIR} ${PROJECT_VERSION})
    set_tests_properties(package_test PROPERTIES TIMEOUT 600)
  endif()
endif()
