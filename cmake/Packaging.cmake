# The Debian package: one package with the station, its command-line tool, the
# card simulator with its LED wall, the manuals and the fonts' licences.
# `cpack -G DEB` in a configured tree makes it; scripts/package.sh does so in a
# release tree. Library dependencies come from dpkg-shlibdeps; only what no
# library link shows (the fonts the text is drawn with) is named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME subtitle-station)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${STATION_MAINTAINER}")
set(CPACK_PACKAGE_VENDOR "Subtitle Station developers")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "stage subtitle control station for LED screens")
# Lines of at most 79 characters, as the Description field wants them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "During a performance the operator steps through the lines of a script, or"
    "lets them follow a music track, and every line appears at once on up to three"
    "LED screens of the stage. The station drives the screens' LED controller"
    "cards over UDP on the local network and prepares offline content for cards"
    "that play on their own."
    ""
    "The package holds the station (menu entry 舞台字幕机), subtitle-station-cli"
    "for the same operations from a shell, and led-card-sim, simulated controller"
    "cards with a virtual LED wall for rehearsals without hardware.")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${STATION_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://subtitlestation.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-arphic-uming, fonts-wqy-zenhei")
# Qt's own dialog texts in Chinese; the station runs without them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)

# The install step (and so cpack) takes what the tree has built: the test
# suite packages its plain tree without building every benchmark again first,
# and scripts/package.sh builds the installed targets before it packages.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
