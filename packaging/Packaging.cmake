# Installing and packaging. `cmake --install` lays the programs and their
# files out below the prefix (bin/, share/quillbox/, share/applications/,
# share/icons/hicolor/, share/man/man1/, share/metainfo/, share/doc/quillbox/);
# CPack's DEB generator turns that tree into quillbox_<version>-<rev>_<arch>.deb
# (scripts/package). Included at the end of the top-level CMakeLists.txt, once
# every program target exists.
#
# The programs find their data files relative to their own executable
# (platform/paths.h: <exe>/../share/quillbox installed, <exe>/data in the
# build tree), so nothing here compiles a path in.
include(GNUInstallDirs)

# One page of the project, named by the metainfo, the package and the
# copyright file; the AppStream id follows its domain.
set(QB_HOMEPAGE "https://quillbox.example.org/")
set(QB_APP_ID "org.example.quillbox")
set(QB_MAINTAINER "The Quillbox developers <quillbox@example.org>")
set(QB_DEB_RELEASE 1)
set(QB_DEB_VERSION "${PROJECT_VERSION}-${QB_DEB_RELEASE}")

set(QB_PKG_SRC ${CMAKE_CURRENT_LIST_DIR})
set(QB_PKG_OUT ${CMAKE_BINARY_DIR}/packaging)
set(QB_VERSION ${PROJECT_VERSION})
set(QB_PKG_FILES)  # what the build makes for the package

# --- The programs and their data ------------------------------------------
install(TARGETS quillbox-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET quillbox)
  install(TARGETS quillbox RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
# The program data directory: the files of data/ (help manual, sound,
# artwork), which the build copies beside the programs, and the message
# catalogues compiled into the build tree's copy (po/).
if(EXISTS ${PROJECT_SOURCE_DIR}/data)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/ DESTINATION ${CMAKE_INSTALL_DATADIR}/quillbox
          PATTERN "CMakeLists.txt" EXCLUDE PATTERN "*.cmake" EXCLUDE)
endif()
install(DIRECTORY ${CMAKE_BINARY_DIR}/app/data/locale
        DESTINATION ${CMAKE_INSTALL_DATADIR}/quillbox OPTIONAL)

# --- Manual pages and the Debian changelog, compressed as Debian wants -----
set(QB_MANPAGES quillbox-cli)
if(TARGET quillbox)
  list(APPEND QB_MANPAGES quillbox)
endif()
find_program(QB_GZIP gzip REQUIRED)
foreach(page ${QB_MANPAGES})
  configure_file(${QB_PKG_SRC}/man/${page}.1 ${QB_PKG_OUT}/man/${page}.1 @ONLY)
  add_custom_command(
    OUTPUT ${QB_PKG_OUT}/man/${page}.1.gz
    COMMAND ${QB_GZIP} -9 -n -k -f ${QB_PKG_OUT}/man/${page}.1
    DEPENDS ${QB_PKG_OUT}/man/${page}.1
    VERBATIM)
  list(APPEND QB_PKG_FILES ${QB_PKG_OUT}/man/${page}.1.gz)
  install(FILES ${QB_PKG_OUT}/man/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

configure_file(${QB_PKG_SRC}/changelog.in ${QB_PKG_OUT}/changelog.Debian @ONLY)
add_custom_command(
  OUTPUT ${QB_PKG_OUT}/changelog.Debian.gz
  COMMAND ${QB_GZIP} -9 -n -k -f ${QB_PKG_OUT}/changelog.Debian
  DEPENDS ${QB_PKG_OUT}/changelog.Debian
  VERBATIM)
list(APPEND QB_PKG_FILES ${QB_PKG_OUT}/changelog.Debian.gz)
install(FILES ${QB_PKG_OUT}/changelog.Debian.gz ${QB_PKG_SRC}/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillbox)
install(FILES ${QB_PKG_SRC}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME quillbox)

# --- Menu entry, icon, AppStream metadata ----------------------------------
# The screenshots of docs/screenshots (scripts/screenshots renders one per
# page, named after it): the pages in the order a user meets them, with a
# caption each, the first as the default; any other picture after them,
# captioned with its name.
set(QB_SCREENSHOT_CAPTIONS
    "Welcome=Choosing the kind of mail store"
    "OEChoose=Choosing an Outlook Express identity or store directory"
    "OEFolderSelect=Ticking the folders to extract"
    "NetscapeChoose=Choosing a Thunderbird or Mozilla profile"
    "NSFolderSelect=Ticking the mailboxes to extract"
    "OutlookChoose=Choosing the Outlook stores"
    "Options=Choosing which attachments to save"
    "Options2=Choosing how the saved files are named"
    "Processing=A run under way"
    "Finished=A finished run")
file(GLOB QB_SCREENSHOTS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/screenshots/*.png)
list(SORT QB_SCREENSHOTS)
set(QB_SCREENSHOT_LIST)
foreach(entry ${QB_SCREENSHOT_CAPTIONS})
  string(REGEX REPLACE "=.*" "" page "${entry}")
  string(REGEX REPLACE "^[^=]*=" "" caption "${entry}")
  set(shot ${PROJECT_SOURCE_DIR}/docs/screenshots/${page}.png)
  if(shot IN_LIST QB_SCREENSHOTS)
    list(REMOVE_ITEM QB_SCREENSHOTS ${shot})
    list(APPEND QB_SCREENSHOT_LIST "${page}.png=${caption}")
  endif()
endforeach()
foreach(shot ${QB_SCREENSHOTS})
  get_filename_component(name ${shot} NAME)
  get_filename_component(caption ${shot} NAME_WE)
  list(APPEND QB_SCREENSHOT_LIST "${name}=${caption}")
endforeach()
set(QB_METAINFO_SCREENSHOTS "")
if(QB_SCREENSHOT_LIST)
  string(APPEND QB_METAINFO_SCREENSHOTS "  <screenshots>\n")
  set(kind " type=\"default\"")
  foreach(entry ${QB_SCREENSHOT_LIST})
    string(REGEX REPLACE "=.*" "" name "${entry}")
    string(REGEX REPLACE "^[^=]*=" "" caption "${entry}")
    string(APPEND QB_METAINFO_SCREENSHOTS
           "    <screenshot${kind}>\n"
           "      <caption>${caption}</caption>\n"
           "      <image>${QB_HOMEPAGE}screenshots/${name}</image>\n"
           "    </screenshot>\n")
    set(kind "")
  endforeach()
  string(APPEND QB_METAINFO_SCREENSHOTS "  </screenshots>\n")
endif()
configure_file(${QB_PKG_SRC}/quillbox.metainfo.xml.in ${QB_PKG_OUT}/${QB_APP_ID}.metainfo.xml @ONLY)
configure_file(${QB_PKG_SRC}/quillbox.desktop ${QB_PKG_OUT}/quillbox.desktop COPYONLY)

# PNG icons rendered from the SVG.
set(QB_ICON_SIZES 16 22 24 32 48 64 128 256)
find_program(QB_RSVG_CONVERT rsvg-convert)
set(QB_ICONS)
if(QB_RSVG_CONVERT)
  foreach(size ${QB_ICON_SIZES})
    set(dir ${QB_PKG_OUT}/icons/${size}x${size}/apps)
    add_custom_command(
      OUTPUT ${dir}/quillbox.png
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
      COMMAND ${QB_RSVG_CONVERT} --width=${size} --height=${size} --keep-aspect-ratio
              --output=${dir}/quillbox.png ${QB_PKG_SRC}/quillbox.svg
      DEPENDS ${QB_PKG_SRC}/quillbox.svg
      COMMENT "Rendering the ${size}x${size} icon"
      VERBATIM)
    list(APPEND QB_ICONS ${dir}/quillbox.png)
  endforeach()
  list(APPEND QB_PKG_FILES ${QB_ICONS})
else()
  message(WARNING "rsvg-convert (librsvg2-bin) is missing: only the scalable icon is installed")
endif()

if(TARGET quillbox)
  install(FILES ${QB_PKG_OUT}/quillbox.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${QB_PKG_OUT}/${QB_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${QB_PKG_SRC}/quillbox.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size ${QB_ICON_SIZES})
    install(FILES ${QB_PKG_OUT}/icons/${size}x${size}/apps/quillbox.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps OPTIONAL)
  endforeach()
endif()

add_custom_target(qb_package_files ALL DEPENDS ${QB_PKG_FILES})

# --- The Debian package ------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillbox)
set(CPACK_PACKAGE_VENDOR "The Quillbox developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${QB_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${QB_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${QB_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${QB_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # dependencies from the linked libraries
if(TARGET quillbox)
  # What the linked libraries cannot tell: Qt loads its platform plugins at
  # run time, and the desktop opens the destination through xdg-open.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
  # Qt's own dialog buttons (Yes, No, Cancel, the file dialogs) in the
  # user's language.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, qt6-translations-l10n")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# No maintainer scripts: installing creates only the package's own files, so
# removing it leaves nothing behind.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "save the attachments of local mail stores as files
Quillbox pulls the attachments out of the mail stores on the local disk and
saves them as ordinary files in a directory tree, named by date, sender and
subject. It reads Thunderbird, Mozilla and Netscape mailboxes, the .dbx
folders of Outlook Express and Outlook's .pst files.
.
A desktop wizard picks the store, the folders and the options (extensions to
skip or keep, a date interval, skipping messages handled before, downloading
linked files); quillbox-cli runs the same extraction from a shell.")
include(CPack)
