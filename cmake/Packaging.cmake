# The Debian package (scripts/package builds it; tests/package checks it).
# Installs what `cmake --install` installs, under /usr; that includes the
# copyright file, changelog and manual page installed at the end of this file.
include(GNUInstallDirs)

set(PICTAVO_MAINTAINER "The Pictavo developers <developers@pictavo.org>"
    CACHE STRING "Maintainer field of the Debian package")

# Summary and description: the AppStream text, so the two never drift apart.
file(READ ${PROJECT_SOURCE_DIR}/data/org.pictavo.Pictavo.metainfo.xml metainfo)
string(REGEX MATCH "<summary>([^<]*)</summary>" _ "${metainfo}")
set(summary "${CMAKE_MATCH_1}")
string(REGEX MATCH "<description>(.*)</description>[ \n]*<launchable" _ "${metainfo}")
# (A semicolon would split CMake's lists: it is stood in for until the end.)
string(REPLACE ";" "@SEMICOLON@" text "${CMAKE_MATCH_1}")
string(REGEX MATCHALL "<(p|li)>[^<]*</(p|li)>" blocks "${text}")
set(description "")
set(previous "")
foreach(block IN LISTS blocks)
  # Each paragraph becomes lines of at most 72 characters; each list item a " * " line.
  string(REGEX MATCH "^<(p|li)>" _ "${block}")
  set(kind ${CMAKE_MATCH_1})
  string(REGEX REPLACE "</?(p|li)>" "" text "${block}")
  string(STRIP "${text}" text)
  string(REGEX REPLACE "[ \n]+" ";" words "${text}")
  if(kind STREQUAL "p")
    if(description)
      string(APPEND description "\n\n")
    endif()
    set(line "")
    set(indent "")
  else()
    if(previous STREQUAL "p")
      string(APPEND description "\n")
    endif()
    string(APPEND description "\n")
    set(line " *")
    set(indent "   ")
  endif()
  foreach(word IN LISTS words)
    string(REPLACE "@SEMICOLON@" ";" word "${word}")
    string(LENGTH "${line} ${word}" length)
    if(line STREQUAL "")
      set(line "${word}")
    elseif(length GREATER 72)
      string(APPEND description "${line}\n")
      set(line "${indent}${word}")
    else()
      set(line "${line} ${word}")
    endif()
  endforeach()
  string(APPEND description "${line}")
  set(previous ${kind})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pictavo)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${summary}")
# (The trailing newline keeps the last line's indentation.)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${description}\n")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PICTAVO_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Libraries the programs link: from dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the application loads only at run time, which dpkg-shlibdeps cannot see:
# the QML modules its views import (and those they import in turn, with the
# Fusion style), the platform plugins (xcb, and wayland, native in a Wayland
# session), the SVG image plugin for its icons, libXcursor (which libX11 loads
# for the desktop's cursor theme), libheif with its HEVC decoder plugin, and libavcodec.
# tests/package checks this list against what the application loads.
# Debian ships Qt's SVG image plugin in qt6-svg-plugins from Qt 6.7 on (6.8 in
# Debian 13), in the library's own package before (6.4 in Debian 12).
if(Qt6Svg_VERSION VERSION_GREATER_EQUAL 6.8)
  set(svg_plugin qt6-svg-plugins)
else()
  set(svg_plugin libqt6svg6)
endif()
# The HEVC decoder reads every photo: at least the version with the security
# fixes Debian has published for the release the package is built on.
file(STRINGS /etc/os-release release REGEX "^VERSION_CODENAME=")
if(release STREQUAL "VERSION_CODENAME=bookworm")
  set(libde265 "libde265-0 (>= 1.0.11-1+deb12u4)")
elseif(release STREQUAL "VERSION_CODENAME=trixie")
  set(libde265 "libde265-0 (>= 1.1.3-0+deb13u1)")
else()
  set(libde265 libde265-0)
endif()
# The FFmpeg libraries: libavcodec decodes the tiles of phone and camera
# photos, libswscale scales photos to a smaller size. Each the release's own
# library (its soname names the package), at least the version with the
# security fixes Debian had published for FFmpeg when this was written.
function(ffmpeg_dependency out package version)
  string(REGEX MATCH "^[0-9]+" soname "${version}")
  if(release STREQUAL "VERSION_CODENAME=bookworm")
    set(${out} "${package}${soname} (>= 7:5.1.9-0+deb12u1)" PARENT_SCOPE)
  elseif(release STREQUAL "VERSION_CODENAME=trixie")
    set(${out} "${package}${soname} (>= 7:7.1.6-0+deb13u1)" PARENT_SCOPE)
  else()
    set(${out} "${package}${soname}" PARENT_SCOPE)
  endif()
endfunction()
ffmpeg_dependency(libavcodec libavcodec "${LIBAVCODEC_libavcodec_VERSION}")
ffmpeg_dependency(libswscale libswscale "${LIBSWSCALE_VERSION}")
set(PICTAVO_RUNTIME_DEPENDS
    qml6-module-qtqml
    qml6-module-qtquick
    qml6-module-qtquick-controls
    qml6-module-qtquick-layouts
    qml6-module-qtquick-shapes
    qml6-module-qtquick-templates
    qml6-module-qtquick-window
    qml6-module-qtqml-workerscript
    qt6-qpa-plugins
    qt6-wayland
    ${svg_plugin}
    libxcursor1
    "libheif1 (>= 1.19)"
    libheif-plugin-libde265
    ${libde265}
    ${libavcodec}
    ${libswscale})
list(JOIN PICTAVO_RUNTIME_DEPENDS ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
# The portal's platform theme gives the desktop's own file chooser (the
# application asks Qt for it); without it, or with no portal running, the
# application shows Qt's own dialog.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-xdgdesktopportal-platformtheme")

# The copyright file, the changelog (of a native package) and the manual page a
# Debian package carries, compressed as Debian compresses them.
foreach(file changelog pictavo.1)
  execute_process(COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/${file}
                  OUTPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/${file}.gz COMMAND_ERROR_IS_FATAL ANY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/packaging/${file})
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pictavo)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/pictavo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# lintian runs AppStream's validator, which from version 1.0 (Debian 13) fails a
# metainfo without a homepage.
execute_process(COMMAND appstreamcli --version OUTPUT_VARIABLE appstream_version ERROR_QUIET)
string(REGEX MATCH "[0-9]+\\.[0-9.]+" appstream_version "${appstream_version}")
if(appstream_version VERSION_GREATER_EQUAL 1.0)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME pictavo)
endif()

include(CPack)
