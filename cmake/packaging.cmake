# The Debian package: `cpack -G DEB` in a build configured with
# -DCMAKE_INSTALL_PREFIX=/usr (tools/package.sh does both) makes
# tarvolin_<version>_<arch>.deb from the install rules.

# The AppStream release entry is what software centres show as the version:
# it must move with the project's.
file(STRINGS ${PROJECT_SOURCE_DIR}/data/tarvolin.metainfo.xml tv_release REGEX "<release " LIMIT_COUNT 1)
if(NOT tv_release MATCHES "version=\"${PROJECT_VERSION}\"")
  message(FATAL_ERROR "data/tarvolin.metainfo.xml: the newest <release> is not ${PROJECT_VERSION}")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvolin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "Tarvolin maintainers <maintainers@users.noreply.c-seed-fd037e93.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch photo recompressor, resizer and renamer")
# The summary above is the Description's first line; this is the rest.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tarvolin takes a folder of photographs and, in one batch, recompresses them
(JPEG, PNG or BMP, JPEG quality 0 to 10), resizes them by a preset or a typed
fraction, percentage or ratio, renames them from a mask with zero-padded
numbers, places them in another folder, optionally removes the sources and
keeps their file dates. Every output is written beside its destination and
renamed over it in one step, so a failed save never loses a photo.
.
The package holds the Qt desktop program, tarvolin, and tarvolin-batch, the
same batch from a terminal or a script.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The library packages come from dpkg-shlibdeps (Qt's xcb platform plugin is
# in libqt6gui6 itself).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own buttons and folder chooser in French.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")

include(CPack)
