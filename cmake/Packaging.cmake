# SPDX-License-Identifier: MIT
# What a system install holds besides the two programs (desktop entry, icons, MIME
# type, manual pages, bash completion, example songs, the documentation pages) and the
# Debian package CPack builds from it (`cpack -G DEB`, see scripts/package).

set(_data ${PROJECT_SOURCE_DIR}/data)
set(_gen ${PROJECT_BINARY_DIR}/data)
# GNUInstallDirs' DOCDIR is named after the CMake project ("Tavolin"); Debian wants the package name.
set(TAVOLIN_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/tavolin)
set(_generated)

# Manual pages and the changelog are stored gzipped, as Debian installs them; -n keeps
# the name and time stamp out, so that two builds of one version give the same bytes.
function(tavolin_gzip in out)
  add_custom_command(OUTPUT ${out}
                     COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" gzip ${in} ${out}
                     DEPENDS ${in} VERBATIM)
endfunction()

# Files that name the version, filled in at build time from the version the build wrote,
# as the programs are (app/CMakeLists.txt).
set(_version_file ${TAVOLIN_VERSION_DIR}/version.txt)
function(tavolin_versioned in out)
  add_custom_command(OUTPUT ${out}
                     COMMAND ${CMAKE_COMMAND} -DIN=${in} -DOUT=${out} -DVERSION_FILE=${_version_file}
                             -P ${PROJECT_SOURCE_DIR}/cmake/ConfigureVersioned.cmake
                     DEPENDS ${in} ${_version_file} ${PROJECT_SOURCE_DIR}/cmake/ConfigureVersioned.cmake VERBATIM)
endfunction()

set(_pages tavolin-cli)
if(TAVOLIN_BUILD_GUI)
  list(APPEND _pages tavolin)
endif()
foreach(page IN LISTS _pages)
  tavolin_versioned(${_data}/man/${page}.1 ${_gen}/man/${page}.1)
  tavolin_gzip(${_gen}/man/${page}.1 ${_gen}/man/${page}.1.gz)
  list(APPEND _generated ${_gen}/man/${page}.1.gz)
  install(FILES ${_gen}/man/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

tavolin_versioned(${_data}/debian/changelog.in ${_gen}/changelog)
tavolin_gzip(${_gen}/changelog ${_gen}/changelog.gz)
list(APPEND _generated ${_gen}/changelog.gz)

install(FILES ${_data}/completion/tavolin-cli DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
file(GLOB _examples CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/examples/*.mml)
install(FILES ${_examples} DESTINATION ${CMAKE_INSTALL_DATADIR}/tavolin/examples)
# The documentation pages with their pictures, where the window's Help menu looks for them.
file(GLOB _docs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md ${PROJECT_SOURCE_DIR}/docs/*.png)
install(FILES ${_docs} ${_data}/debian/copyright ${_gen}/changelog.gz DESTINATION ${TAVOLIN_DOCDIR})

if(TAVOLIN_BUILD_GUI)
  install(FILES ${_data}/tavolin.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${_data}/tavolin-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME tavolin.xml)
  install(FILES ${_data}/icons/tavolin.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  # The bitmap sizes are drawn from the SVG (librsvg2-bin). Without rsvg-convert only
  # the two sizes kept for the window's own resources are installed.
  find_program(TAVOLIN_RSVG_CONVERT rsvg-convert)
  if(TAVOLIN_RSVG_CONVERT)
    set(_icon_sizes 16 22 24 32 48 64 128 256)
    foreach(size IN LISTS _icon_sizes)
      set(_png ${_gen}/icons/${size}x${size}/tavolin.png)
      add_custom_command(OUTPUT ${_png}
                         COMMAND ${CMAKE_COMMAND} -E make_directory ${_gen}/icons/${size}x${size}
                         COMMAND ${TAVOLIN_RSVG_CONVERT} -w ${size} -h ${size} -o ${_png} ${_data}/icons/tavolin.svg
                         DEPENDS ${_data}/icons/tavolin.svg VERBATIM)
      list(APPEND _generated ${_png})
      install(FILES ${_png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
  else()
    message(STATUS "rsvg-convert not found: installing only the 48 and 256 pixel icons")
    foreach(size 48 256)
      install(FILES ${_data}/icons/tavolin-${size}.png
              DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME tavolin.png)
    endforeach()
  endif()
endif()

add_custom_target(tavolin_data ALL DEPENDS ${_generated})
add_dependencies(tavolin_data tavolin_version_stamp)

# The Debian package. Files go under /usr whatever CMAKE_INSTALL_PREFIX says.
set(CPACK_PACKAGE_NAME tavolin)
set(CPACK_PACKAGE_VENDOR "Tavolin developers")
set(TAVOLIN_PACKAGE_MAINTAINER "Tavolin maintainers <maintainers@users.noreply.c-seed-1a2b9c96.example>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${TAVOLIN_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "chip-style music editor for MML (Music Macro Language)")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[
Tavolin is a desktop tool for writing chip-style music in MML. A song is
typed into a tabbed editor (one common tab and five monophonic banks),
compiled as you type, played while you edit, and exported as WAV, FLAC,
Ogg Vorbis, Opus or MIDI. Its synthesizer has square, triangle, sawtooth,
sine and noise waves, envelopes, pitch and amplitude LFOs and portamento.
.
This package holds the Qt window (tavolin) and the command-line tool
(tavolin-cli), which checks, inspects, renders, plays and converts songs,
with example songs and the MML reference.]=])
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own dialogs (file dialogs, Yes/No) speak Japanese only with these installed.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# The package's version is the one the last build wrote, read when cpack runs, so that
# it is the programs' own (CMake's PROJECT_VERSION lacks the commit).
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackVersion.cmake)
file(WRITE ${CPACK_PROJECT_CONFIG_FILE} "
if(NOT EXISTS \"${_version_file}\")
  message(FATAL_ERROR \"no ${_version_file}: build before packaging\")
endif()
file(STRINGS \"${_version_file}\" CPACK_PACKAGE_VERSION LIMIT_COUNT 1)
")
include(CPack)
