# The Debian package: `cpack -G DEB` in the build folder makes
# velto3gpconverter_<version>-<revision>_<arch>.deb, installed under /usr. The programs find the
# engine through their RUNPATH ($ORIGIN/../lib/velto3gpconverter) and the data through
# <prefix>/share/velto3gpconverter, so the same rules serve /usr, /usr/local or a staging folder.
set(VELTO_PACKAGE_NAME velto3gpconverter)
set(VELTO_PACKAGE_REVISION 1)
set(VELTO_PACKAGE_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/${VELTO_PACKAGE_NAME})
set(VELTO_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)

# The version is said three times (here, the Debian changelog, the metainfo's releases); a release
# that forgets one would ship a package whose files disagree, so the build refuses.
file(STRINGS ${VELTO_PACKAGING_DIR}/changelog changelog_top LIMIT_COUNT 1)
set(package_version ${PROJECT_VERSION}-${VELTO_PACKAGE_REVISION})
if(NOT changelog_top MATCHES "^${VELTO_PACKAGE_NAME} \\(${package_version}\\) ")
    message(FATAL_ERROR "packaging/changelog starts with '${changelog_top}', "
        "not an entry for ${package_version}")
endif()
file(READ ${CMAKE_SOURCE_DIR}/desktop/${VELTO_APP_ID}.metainfo.xml metainfo)
string(REGEX MATCH "<release version=\"([^\"]*)\"" release "${metainfo}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "the metainfo's newest release is '${CMAKE_MATCH_1}', "
        "not ${PROJECT_VERSION}")
endif()

# The machine-readable copyright file carries the licence text shipped in data/License.txt.
file(READ ${VELTO_PACKAGING_DIR}/copyright.head copyright)
file(STRINGS ${CMAKE_SOURCE_DIR}/data/License.txt license_lines)
foreach(line IN LISTS license_lines)
    if(line STREQUAL "")
        string(APPEND copyright " .\n")
    else()
        string(APPEND copyright " ${line}\n")
    endif()
endforeach()
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/packaging/copyright CONTENT "${copyright}" @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/copyright DESTINATION ${VELTO_PACKAGE_DOCDIR})
velto_install_gzip(velto_changelog ${VELTO_PACKAGING_DIR}/changelog ${VELTO_PACKAGE_DOCDIR}
    changelog.Debian)
install(FILES ${VELTO_PACKAGING_DIR}/lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ${VELTO_PACKAGE_NAME})

# The FFmpeg libraries are bound by name at run time, so no binary's NEEDED names them and
# dpkg-shlibdeps cannot find them: the majors are those of the headers the engine is built with.
foreach(module libavcodec libavformat libavutil libswscale libswresample libavfilter)
    string(REGEX MATCH "^[0-9]+" major "${FFMPEG_${module}_VERSION}")
    set(${module}_major ${major})
    set(${module}_package ${module}${major})
endforeach()
set(VELTO_RUNTIME_DEPENDS
    "libavcodec-extra${libavcodec_major} | ${libavcodec_package}"
    ${libavformat_package} ${libavutil_package} ${libswscale_package}
    ${libswresample_package} ${libavfilter_package}
    # Qt's platform plug-ins are only a recommendation of libqt6gui6; without them the window
    # cannot open on any display, offscreen included.
    qt6-qpa-plugins)
list(JOIN VELTO_RUNTIME_DEPENDS ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
# The AMR encoders for catalogue entries with AMR sound, the SVG icon, Qt's own dialog translations and a font
# for the Chinese texts.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "libavcodec-extra, qt6-svg-plugins, qt6-translations-l10n, fonts-wqy-microhei")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${VELTO_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "Velto Software")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Velto Software <support@velto-soft.com>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.velto-soft.com/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch video converter for phones and portable players")
set(CPACK_PACKAGE_DESCRIPTION [=[
Velto 3GP Converter converts a whole list of video files at once into the
formats phones, tablets, portable players and browsers play: 3GP, MP4 (H.264
or HEVC), WebM, AVI (DivX, XviD), FLV, WMV, MPEG-1 and MPEG-2, or sound only
as MP3, AAC, FLAC or Ogg Vorbis. Each output profile sets frame size, frame
rate, bit rates and sound from the values the device takes, and an output is
verified before it takes its name.

The package holds the desktop program (Qt) and velto3gp, a command-line
converter with the same profiles for scripts and batch machines. Both bind
the system's FFmpeg libraries at run time.]=])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VELTO_PACKAGE_REVISION})
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

# Everything the package installs, for building it without the tests and benchmarks.
add_custom_target(velto_package_files)
foreach(target Velto3GPConverter velto3gp velto_engine myutil boxhook stage_data velto_translations
        velto_changelog velto3gp_manpage Velto3GPConverter_manpage)
    if(TARGET ${target})
        add_dependencies(velto_package_files ${target})
    endif()
endforeach()
